x = a if b else c or d and not e
y = [i ** -2 for i in range(10) if i % 2 if i > 3]
z = {k: v for k, v in items} | {*a, *b} ^ {1}
w = (n := 10) @ m >> 2 << 1 & 3
v = a[1:2, ::3, ...][lambda: 0]
u = -~+x < y <= z != q is not r not in s
print(*args, sep="", **{"end": ""})
(yield)
