#trace TempOff,TempOn,PbdFun,SvoVdbCmd,RasterProc,VemtracDbg,ShowJobTime,SvoSpeed,SendVdb,PenSel,Event,DeltaMove,AngleSmooth,ShowVdbVect,RasterMove,CarriagePos,AccDist
execute_penselect 1
pd_default 2032 0
pd_default 0 2032
pu_default -2032 -2032
ToPclMode 0
RasterDPI 300
RasterUnit 254
ImageWidth 60
ImageHeight 2
SetHorizontalPositionPCL 1 30
SetStartRasterGraphics 0
RasterLineOut 0
RasterLineOut 0
SetEndRasterGraphics 0
ToHpglMode 0
pd_default 100 100
