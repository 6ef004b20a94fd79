match command.split():
    case [action, *rest] if rest:
        pass
    case {"key": value, **others}:
        pass
    case Point(x=0, y=_) | Point(1, 2) as p:
        pass
    case -1 | 1.5 | 2j | -1+2j | "s" "t" | b"b" | None | True | Color.RED:
        pass
    case (a, b, *_):
        pass
