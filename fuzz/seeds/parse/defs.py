@decorator(arg)
async def f[T: int = str, *Ts, **P](a, /, b: int = 1, *args: *Ts, c, d=2, **kw) -> T:
    """doc"""
    global g
    nonlocal_ = lambda x, *y, z=1, **w: (yield x)
    return await g(a, *args, k=1, **kw)

class C(Base, metaclass=M):
    x: int = 0
    def m(self): return super().m()
type Alias[T] = list[T]
