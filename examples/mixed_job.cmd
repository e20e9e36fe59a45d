VemtracCmdVer 1
VectorSpeed 500 800 300 9 500 500 500 500 500 500 500 500 500 500 500 500
ToHpglMode 0
execute_penselect 1
pu_default 2032 2032
pd_default 4064 0
pd_default 0 3048
pd_default -4064 0
pd_default 0 -3048
execute_penselect 2
pu_default 3048 1524
pd_default -2 71
pd_default -8 70
pd_default -12 70
pd_default -17 69
pd_default -22 67
pd_default -27 66
pd_default -31 64
pd_default -35 61
pd_default -40 59
pd_default -44 56
pd_default -47 53
pd_default -51 49
pd_default -54 46
pd_default -58 41
pd_default -60 38
pd_default -63 33
pd_default -64 29
pd_default -67 24
pd_default -68 20
pd_default -70 15
pd_default -70 9
pd_default -71 5
pd_default -70 0
pd_default -71 -5
pd_default -70 -9
pd_default -70 -15
pd_default -68 -20
pd_default -67 -24
pd_default -64 -29
pd_default -63 -33
pd_default -60 -38
pd_default -58 -41
pd_default -54 -46
pd_default -51 -49
pd_default -47 -53
pd_default -44 -56
pd_default -40 -59
pd_default -35 -61
pd_default -31 -64
pd_default -27 -66
pd_default -22 -67
pd_default -17 -69
pd_default -12 -70
pd_default -8 -70
pd_default -2 -71
pd_default 2 -71
pd_default 8 -70
pd_default 12 -70
pd_default 17 -69
pd_default 22 -67
pd_default 27 -66
pd_default 31 -64
pd_default 35 -61
pd_default 40 -59
pd_default 44 -56
pd_default 47 -53
pd_default 51 -49
pd_default 54 -46
pd_default 58 -41
pd_default 60 -38
pd_default 63 -33
pd_default 64 -29
pd_default 67 -24
pd_default 68 -20
pd_default 70 -15
pd_default 70 -9
pd_default 71 -5
pd_default 70 0
pd_default 71 5
pd_default 70 9
pd_default 70 15
pd_default 68 20
pd_default 67 24
pd_default 64 29
pd_default 63 33
pd_default 60 38
pd_default 58 41
pd_default 54 46
pd_default 51 49
pd_default 47 53
pd_default 44 56
pd_default 40 59
pd_default 35 61
pd_default 31 64
pd_default 27 66
pd_default 22 67
pd_default 17 69
pd_default 12 70
pd_default 8 70
pd_default 2 71
execute_penselect 3
pu_default 3048 1016
pd_default 597 -1838
pd_default -1563 1136
pd_default 1932 0
pd_default -1563 -1136
pd_default 597 1838
execute_penselect 4
pu_default 3248 -1016
pd_default 1 32
pd_default -5 32
pd_default -10 31
pd_default -14 30
pd_default -20 27
pd_default -24 24
pd_default -28 21
pd_default -31 16
pd_default -33 11
pd_default -36 6
pd_default -36 0
pd_default -37 -6
pd_default -36 -11
pd_default -33 -17
pd_default -31 -23
pd_default -28 -27
pd_default -23 -32
pd_default -18 -36
pd_default -12 -38
pd_default -6 -40
pd_default 0 -41
pd_default 7 -41
pd_default 13 -40
pd_default 20 -38
pd_default 26 -34
pd_default 31 -31
pd_default 35 -25
pd_default 40 -20
pd_default 43 -13
pd_default 45 -7
pd_default 46 1
pd_default 45 7
pd_default 45 16
pd_default 42 22
pd_default 38 28
pd_default 33 35
pd_default 28 40
pd_default 22 44
pd_default 14 47
pd_default 7 50
pd_default -1 51
pd_default -9 50
pd_default -17 48
pd_default -24 46
pd_default -32 42
pd_default -38 36
pd_default -44 31
pd_default -49 23
pd_default -52 16
pd_default -54 7
pd_default -55 -1
pd_default -55 -10
pd_default -53 -19
pd_default -50 -27
pd_default -45 -35
pd_default -40 -42
pd_default -33 -48
pd_default -25 -52
pd_default -16 -57
pd_default -8 -59
pd_default 2 -60
pd_default 11 -59
pd_default 20 -58
pd_default 30 -53
pd_default 38 -49
pd_default 45 -43
pd_default 52 -35
pd_default 57 -27
pd_default 61 -18
pd_default 64 -8
pd_default 65 2
pd_default 64 12
pd_default 61 23
pd_default 58 32
pd_default 53 40
pd_default 45 49
pd_default 38 56
pd_default 29 62
pd_default 19 66
pd_default 8 68
pd_default -2 69
pd_default -14 69
pd_default -24 66
pd_default -34 62
pd_default -44 56
pd_default -53 49
pd_default -60 40
pd_default -66 30
pd_default -70 20
pd_default -73 9
pd_default -74 -3
pd_default -73 -14
pd_default -70 -26
pd_default -66 -37
pd_default -60 -47
pd_default -52 -56
pd_default -42 -64
pd_default -33 -70
pd_default -21 -75
pd_default -9 -78
pd_default 3 -79
pd_default 16 -77
pd_default 27 -75
pd_default 40 -70
pd_default 50 -63
pd_default 60 -55
pd_default 67 -45
pd_default 75 -34
pd_default 80 -23
pd_default 82 -9
pd_default 83 4
pd_default 83 16
pd_default 79 30
pd_default 74 42
pd_default 66 53
pd_default 58 63
pd_default 48 72
pd_default 36 79
pd_default 23 84
pd_default 10 87
pd_default -4 88
pd_default -18 87
pd_default -31 83
pd_default -44 78
pd_default -56 71
pd_default -67 61
pd_default -76 50
pd_default -84 37
pd_default -88 25
pd_default -92 10
pd_default -93 -4
pd_default -91 -19
pd_default -88 -33
pd_default -82 -47
pd_default -74 -59
pd_default -64 -71
pd_default -52 -80
pd_default -40 -87
pd_default -25 -93
pd_default -11 -97
pd_default 5 -97
pd_default 20 -96
pd_default 35 -93
pd_default 49 -85
pd_default 62 -78
pd_default 74 -67
pd_default 84 -55
pd_default 92 -41
pd_default 98 -27
pd_default 101 -11
pd_default 102 5
pd_default 101 21
pd_default 96 37
pd_default 90 51
pd_default 81 66
pd_default 70 77
pd_default 58 88
pd_default 43 97
pd_default 28 102
pd_default 11 106
pd_default -5 107
pd_default -23 105
pd_default -38 101
pd_default -54 94
pd_default -69 84
pd_default -81 74
pd_default -92 60
pd_default -100 45
pd_default -107 28
pd_default -111 12
pd_default -112 -6
pd_default -109 -23
pd_default -105 -40
pd_default -98 -57
pd_default -89 -71
pd_default -76 -85
pd_default -62 -96
pd_default -47 -105
pd_default -30 -112
pd_default -12 -115
pd_default 6 -116
pd_default 25 -115
pd_default 42 -109
pd_default 59 -102
pd_default 74 -92
pd_default 88 -79
pd_default 101 -65
pd_default 109 -49
pd_default 116 -31
pd_default 120 -12
pd_default 121 7
pd_default 119 25
pd_default 114 44
pd_default 106 61
pd_default 95 78
pd_default 83 92
pd_default 67 104
pd_default 50 114
pd_default 32 120
pd_default 13 125
pd_default -7 126
pd_default -26 123
pd_default -46 118
pd_default -64 110
pd_default -81 99
pd_default -95 86
pd_default -108 70
pd_default -118 52
pd_default -126 33
pd_default -129 13
pd_default -130 -7
pd_default -128 -28
pd_default -123 -47
pd_default -114 -67
pd_default -103 -83
pd_default -88 -100
pd_default -72 -112
pd_default -54 -122
pd_default -34 -130
pd_default -14 -134
pd_default 8 -135
pd_default 28 -133
pd_default 50 -127
pd_default 69 -118
pd_default 86 -106
pd_default 103 -91
pd_default 116 -75
pd_default 127 -56
pd_default 134 -35
pd_default 139 -14
pd_default 140 8
pd_default 137 30
pd_default 131 51
pd_default 122 71
pd_default 110 90
pd_default 95 106
pd_default 77 120
pd_default 57 132
pd_default 37 139
pd_default 14 143
pu_default 0 0
ToPclMode 0
RasterDPI 300
RasterUnit 254
RasterSpeedX 1000
RasterSpeedY 1000
RasterPower 600
RasterFiringType 0
RasterBandingFree 1
RasterBuEngrave 0
ImageWidth 600
ImageHeight 200
SetHorizontalPositionPCL 1 300
SetVerticalPositionPCL 1 1524
SetStartRasterGraphics 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
RasterLineOut 0
SetEndRasterGraphics 0
ToHpglMode 0
execute_penselect 2
pu_default 2032 -1016
pd_default -6 106
pd_default -16 105
pd_default -28 103
pd_default -38 99
pd_default -48 95
pd_default -58 89
pd_default -67 83
pd_default -75 75
pd_default -83 67
pd_default -89 58
pd_default -95 48
pd_default -99 38
pd_default -103 28
pd_default -105 16
pd_default -106 6
pd_default -106 -6
pd_default -105 -16
pd_default -103 -28
pd_default -99 -38
pd_default -95 -48
pd_default -89 -58
pd_default -83 -67
pd_default -75 -75
pd_default -67 -83
pd_default -58 -89
pd_default -48 -95
pd_default -38 -99
pd_default -28 -103
pd_default -16 -105
pd_default -6 -106
pd_default 6 -106
pd_default 16 -105
pd_default 28 -103
pd_default 38 -99
pd_default 48 -95
pd_default 58 -89
pd_default 67 -83
pd_default 75 -75
pd_default 83 -67
pd_default 89 -58
pd_default 95 -48
pd_default 99 -38
pd_default 103 -28
pd_default 105 -16
pd_default 106 -6
pd_default 106 6
pd_default 105 16
pd_default 103 28
pd_default 99 38
pd_default 95 48
pd_default 89 58
pd_default 83 67
pd_default 75 75
pd_default 67 83
pd_default 58 89
pd_default 48 95
pd_default 38 99
pd_default 28 103
pd_default 16 105
pd_default 6 106
pu_default 0 0
