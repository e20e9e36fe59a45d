execute_penselect 1
pd_default 2032 0
RasterLineOut 0
