if a: pass
elif b:
    x = 1
else:
	if c: y = 2
for i, (j, *k) in enumerate(z): continue
else: break
while not done: done = True
with open(p) as f, ctx() as (a, b): del a[0], b.c
try:
    raise E from None
except* (A, B) as e: pass
try: pass
except A: pass
else: pass
finally: assert x, "m"
