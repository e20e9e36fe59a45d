execute_penselect 17
pd_default 2032 0
execute_penselect 255
