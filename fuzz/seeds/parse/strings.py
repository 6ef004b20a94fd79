s = 'a' "b" '''c
d''' r'\n' u"\N{BULLET} \x41 \u20ac \U0001F600 \101"
b = b'\x00' rb"\d" B'''x'''
f = f"{x!r:>{width}} {y=} {'nested' + f'{z}'} {{literal}} {a:%H:%M}"
t = rf"{x}\d" F'''{
    y
}'''
n = 0x_ff + 0o17 + 0b1_0 + 1_000 + 1.5e-3 + 1e400 + 3j + 18446744073709551616
