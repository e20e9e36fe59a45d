RasterDPI 0
RasterUnit 254
ImageWidth 600
ImageHeight 2
SetStartRasterGraphics 0
RasterLineOut 0
RasterLineOut 0
SetEndRasterGraphics 0
