#!/bin/sh
# Lists the C++ functions longer than a limit, so that the limit can be checked:
#   scripts/function-lengths.sh [-n LINES] FILE...
# One line per function over LINES lines (default 100): "file:line: name (N lines)",
# counted from the line of its name to its closing brace. Exits with 1 when it listed any.
# Functions are found by their braces, with comments, strings, character literals and
# preprocessor lines left out; a lambda or local class counts as part of its function.
set -eu
limit=100
if [ "${1:-}" = "-n" ]; then
  [ $# -ge 2 ] || { echo "usage: $0 [-n LINES] FILE..." >&2; exit 2; }
  limit=$2
  shift 2
fi
[ $# -ge 1 ] || { echo "usage: $0 [-n LINES] FILE..." >&2; exit 2; }
exec python3 - "$limit" "$@" <<'PY'
import re
import sys


def code_only(text):
    """The text with comments, string and character literals and preprocessor lines
    blanked out (line breaks kept, so line numbers stay)."""
    out = []
    i, n = 0, len(text)
    line_start = True
    while i < n:
        c = text[i]
        if line_start and c in " \t":
            out.append(c)
            i += 1
            continue
        if line_start and c == "#":
            # A preprocessor line, with its continuations.
            while i < n and text[i] != "\n":
                if text[i] == "\\" and i + 1 < n and text[i + 1] == "\n":
                    out.append("\n")
                    i += 2
                    continue
                i += 1
            continue
        line_start = c == "\n"
        if text.startswith("//", i):
            while i < n and text[i] != "\n":
                i += 1
            continue
        if text.startswith("/*", i):
            end = text.find("*/", i + 2)
            end = n if end < 0 else end + 2
            out.append("".join(ch if ch == "\n" else " " for ch in text[i:end]))
            i = end
            continue
        raw = re.match(r'(?:u8|u|U|L)?R"([^(\s]*)\(', text[i:i + 40])
        if raw and (i == 0 or not (text[i - 1].isalnum() or text[i - 1] == "_")):
            end = text.find(")" + raw.group(1) + '"', i)
            end = n if end < 0 else end + len(raw.group(1)) + 2
            out.append("".join(ch if ch == "\n" else " " for ch in text[i:end]))
            out.append('""')
            i = end
            continue
        if c == '"' or (c == "'" and not (i > 0 and text[i - 1].isalnum())):
            j = i + 1
            while j < n and text[j] != c and text[j] != "\n":
                j += 2 if text[j] == "\\" else 1
            out.append(c + c)
            i = j + 1
            continue
        out.append(c)
        i += 1
    return "".join(out)


CONTAINER = re.compile(r"\b(namespace|class|struct|union|enum)\b|^extern\s*\"\"$")


def functions(text):
    """(name, first line, last line) of every function body at namespace or class level."""
    code = code_only(text)
    stack = []          # kinds of the open braces: "container", "function", "other"
    header = []         # text since the last statement or block at this level
    header_line = None  # line where the header text began
    line = 1
    found = []
    for ch in code:
        if ch == "\n":
            line += 1
        inside_function = any(k == "function" for k, _, _ in stack)
        if inside_function:
            if ch == "{":
                stack.append(("other", None, None))
            elif ch == "}":
                kind, name, start = stack.pop()
                if kind == "function":
                    found.append((name, start, line))
                    header, header_line = [], None
            continue
        if ch == "{":
            h = " ".join("".join(header).split())
            if CONTAINER.search(h) and "(" not in h.split("{")[0]:
                stack.append(("container", None, None))
            elif "(" in h and not re.search(r"=\s*$", h):
                name = h[: h.index("(")].split()[-1] if h[: h.index("(")].split() else "?"
                stack.append(("function", name, header_line or line))
                continue
            else:
                stack.append(("other", None, None))
            header, header_line = [], None
        elif ch == "}":
            kind = stack.pop()[0] if stack else "container"
            if kind == "other":
                header.append("{}")  # a brace initialiser: the statement goes on
            else:
                header, header_line = [], None
        elif ch == ";":
            header, header_line = [], None
        else:
            if header_line is None and not ch.isspace():
                header_line = line
            header.append(ch)
    return found


def main():
    limit = int(sys.argv[1])
    over = False
    for path in sys.argv[2:]:
        with open(path, encoding="utf-8", errors="replace") as f:
            text = f.read()
        for name, first, last in functions(text):
            length = last - first + 1
            if length > limit:
                over = True
                print(f"{path}:{first}: {name} ({length} lines)")
    sys.exit(1 if over else 0)


main()
PY
