execute_penselect 1
pd_default 715827883 0
pu_default -715827883 0
pd_default 2147483647 -2147483647
