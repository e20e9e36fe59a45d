execute_penselect 1
pd_default 1500000 0
