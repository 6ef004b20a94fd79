x = 1
if x:
	y = 2

z = (\
 3)
