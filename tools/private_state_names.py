#!/usr/bin/env python3
"""File-private state is named in CamelCase: every variable defined at the top
level of an unnamed namespace that is not a constant. Prints each one that is
not, as file:line: name, and exits 1 when there is any. Usage:
tools/private_state_names.py FILE..."""
import re
import sys

OPEN = re.compile(r'^namespace\s*\{')
CLOSE = re.compile(r'^\}\s*(//.*)?$')
# A definition at column 0: a type, then a name, then =, ;, { or [.
DEFINITION = re.compile(r'^(?!return\b|using\b|typedef\b|friend\b|template\b|struct\b|class\b|enum\b|union\b|namespace\b)'
                        r'(?:static\s+|thread_local\s+|inline\s+)*'
                        r'(?P<type>[A-Za-z_][\w:]*(?:<[^;=(]*>)?[\s*&]+)'
                        r'(?P<name>[A-Za-z_]\w*)\s*(?P<end>=|;|\{|\[)')
CAMEL = re.compile(r'^[A-Z][A-Za-z0-9]*$')


def check(path):
    found = []
    inside = False
    depth = 0
    with open(path, encoding='utf-8') as f:
        for number, line in enumerate(f, 1):
            if not inside:
                if OPEN.match(line):
                    inside, depth = True, 0
                continue
            if depth == 0 and CLOSE.match(line):
                inside = False
                continue
            if depth == 0:
                m = DEFINITION.match(line)
                if m and not re.search(r'\b(constexpr|const)\b', m.group('type')) \
                        and not CAMEL.match(m.group('name')):
                    found.append(f'{path}:{number}: {m.group("name")}')
            code = re.sub(r'//.*|"(\\.|[^"\\])*"|\'(\\.|[^\'\\])*\'', '', line)
            depth += code.count('{') - code.count('}')
    return found


def main():
    found = [f for path in sys.argv[1:] for f in check(path)]
    for f in found:
        print(f)
    return 1 if found else 0


if __name__ == '__main__':
    sys.exit(main())
