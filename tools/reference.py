#!/usr/bin/env python3
"""The program reference in docs/ against the installed headers.

    reference.py check INCLUDE_DIR DOCS_DIR
        Fails (exit 1) when a function or shared variable that a header under
        INCLUDE_DIR/morv declares has no entry in DOCS_DIR, when an entry's
        declaration differs from the header's, when an entry lacks its
        "Errors:" or "Example:" line, or when an entry names something no
        header declares. Each problem is one line naming the header.
        Constants and enums are checked too (below).
    reference.py stub INCLUDE_DIR NAME...
        Prints an entry to start from for each NAME: its declaration and the
        comment above it in the header; for a constant or an enumerator, its
        table row; for an enum, its entry with the table of its enumerators.

An entry is a heading "### `name`" followed by a ```cpp block holding the
declaration(s) as the header has them (whitespace aside; overloads one a line),
then the text, an "Errors:" line and an "Example:" line.

Constants (`constexpr` at namespace scope) are rows of a constants table: a
Markdown table, outside any ``` block, whose first two header cells are "Name"
and "Value" (further columns are free; "Meaning" is usual). Each row is
"| `name` | value | ... |" with the value as the header writes it (whitespace
and backticks aside), so a family of constants, such as the low-memory
offsets, reads as one table:

    | Name | Value | Meaning |
    |---|---|---|
    | `low_timer_ticks` | `0x46C` | ticks since midnight (18.2 a second), 24 bits |

An enum type is an entry "### `Name`" whose ```cpp block shows its head as the
header has it ("enum FileMode : uint8_t") and whose text holds a constants
table listing every enumerator, with its value (the header's, or the count on
from the one before when the header gives none); it needs no "Errors:" or
"Example:" line. The enumerators of an enum without a name are rows of any
constants table. A row naming something that is no installed constant or
enumerator, a row whose value differs from the header's, a constant listed
twice, and an enumerator listed outside its enum's entry are problems.
"""
import os
import re
import sys

HEADING = re.compile(r'^### `([A-Za-z_]\w*)`\s*$')
CONSTANT = re.compile(r'^(?:(?:static|inline)\s+)*constexpr\s+[^=]*?([A-Za-z_]\w*)\s*=\s*(.+)$')
ENUM = re.compile(r'^enum(?:\s+(?:class|struct))?(?:\s+([A-Za-z_]\w*))?\s*(?::\s*[\w:\s]+)?$')


def normalise(text):
    text = re.sub(r'\s+', ' ', text).strip()
    text = re.sub(r'\( ', '(', text)
    text = re.sub(r' \)', ')', text)
    return text.rstrip(';').strip()


def strip_comments(text):
    """The text with comments blanked, keeping line numbers and a map of the
    comment lines that stand right above each line."""
    text = re.sub(r'/\*.*?\*/', lambda m: re.sub(r'[^\n]', ' ', m.group(0)), text, flags=re.S)
    return re.sub(r'//[^\n]*', '', text)


def declarations(path, constants=None):
    """(name, declaration, comment) for every function and extern variable a
    header declares at namespace scope, in order. Constants and enums at
    namespace scope go to `constants` as (kind, name, text, comment, enum)
    with kind 'constant' (text: the value), 'enum' (text: its head) or
    'enumerator' (text: the value; enum: the enum's name or None)."""
    if constants is None:
        constants = []
    raw = open(path, encoding='utf-8').read()
    raw_lines = raw.split('\n')
    code = strip_comments(raw)
    code = '\n'.join('' if l.lstrip().startswith('#') else l for l in code.split('\n'))
    found = []
    depth = 0          # braces of bodies and type definitions
    transparent = []   # depths of extern "C" and namespace braces
    start = 0
    i = 0
    statement_line = None
    while i < len(code):
        c = code[i]
        if c == '{':
            head = code[start:i]
            if re.fullmatch(r'\s*(extern\s+"C"|namespace(\s+\w+)?)\s*', head) and depth == len(transparent):
                transparent.append(depth + 1)
                depth += 1
                start = i + 1
            else:
                if depth == len(transparent):
                    enum = ENUM.match(normalise(head))
                    if enum:
                        take_enum(constants, enum.group(1), normalise(head), raw_lines, code, start, head, i)
                    else:
                        take(found, head, raw_lines, code, start, constants)
                depth += 1
        elif c == '}':
            if transparent and transparent[-1] == depth:
                transparent.pop()
                start = i + 1
            depth -= 1
            if depth == len(transparent):
                start = i + 1
                # a type definition goes on to its ';'
        elif c == ';' and depth == len(transparent):
            take(found, code[start:i], raw_lines, code, start, constants)
            start = i + 1
        i += 1
    return found


def take_enum(constants, name, head_text, raw_lines, code, start, head, brace):
    """The enum whose body opens at code[brace] and its enumerators."""
    constants.append(('enum', name, head_text, comment_above(raw_lines, code, start, head), None))
    end = code.index('}', brace)
    offset = brace + 1
    value = None
    for item in code[brace + 1:end].split(','):
        here = offset + len(item) - len(item.lstrip())
        offset += len(item) + 1
        item = normalise(item)
        if not item:
            continue
        m = re.fullmatch(r'([A-Za-z_]\w*)\s*(?:=\s*(.+))?', item)
        if not m:
            continue
        if m.group(2) is not None:
            value = m.group(2)
        else:
            value = str(int(value, 0) + 1) if value is not None and re.fullmatch(r'-?\d+|0[xX][0-9a-fA-F]+', value) else (
                '0' if value is None else value + ' + 1')
        line = code.count('\n', 0, here)
        trailing = raw_lines[line].split('//', 1)[1].strip() if '//' in raw_lines[line] else ''
        constants.append(('enumerator', m.group(1), value, trailing, name))


def take(found, head, raw_lines, code, start, constants):
    text = normalise(head)
    m = CONSTANT.match(text)
    if m and '(' not in text.split('=', 1)[0]:
        constants.append(('constant', m.group(1), m.group(2), comment_above(raw_lines, code, start, head), None))
        return
    if not text or '(' not in text:
        if text.startswith('extern ') and '"C"' not in text:
            name = re.search(r'(\w+)\s*$', text).group(1)
            found.append((name, text, comment_above(raw_lines, code, start, head)))
        return
    if re.match(r'(using|typedef|struct|enum|class|union|static_assert|friend)\b', text):
        return
    if re.match(r'template\s*<[^>]*>\s*(struct|class)\b', text):
        return
    before = text.split('(', 1)[0]
    if '=' in before:
        return
    m = re.search(r'([A-Za-z_]\w*)\s*$', before)
    if not m:
        return
    found.append((m.group(1), text, comment_above(raw_lines, code, start, head)))


def comment_above(raw_lines, code, start, head):
    """The comment lines right above a declaration and the comment ending its
    last line; a declaration that directly follows another one without a
    comment of its own shares the comment of that one."""
    offset = start + (len(head) - len(head.lstrip()))
    line = code.count('\n', 0, offset)
    last = code.count('\n', 0, start + len(head))
    comment = []
    j = line - 1
    while j >= 0 and raw_lines[j].strip().startswith('//'):
        if not raw_lines[j].strip()[2:].strip().startswith('---'):  # a section heading
            comment.insert(0, raw_lines[j].strip()[2:].strip())
        j -= 1
    trailing = raw_lines[last].split('//', 1)[1].strip() if '//' in raw_lines[last] else ''
    if not comment and j == line - 1 and j >= 0 and raw_lines[j].strip() and not trailing:
        return None  # shares the comment of the declaration above
    return ' '.join(comment + ([trailing] if trailing else []))


def header_entries(include_dir, constants=None):
    """Functions and variables by name: [(header, declaration, comment)].
    Constants, enums and enumerators go to `constants` by name:
    [(header, kind, text, comment, enum)]."""
    entries = {}
    if constants is None:
        constants = {}
    root = os.path.join(include_dir, 'morv')
    for folder, _, files in sorted(os.walk(root)):
        for f in sorted(files):
            if not f.endswith('.h'):
                continue
            path = os.path.join(folder, f)
            rel = os.path.relpath(path, include_dir)
            previous = ''
            found = []
            for name, decl, comment in declarations(path, found):
                comment = previous if comment is None else comment
                previous = comment
                entries.setdefault(name, []).append((rel, decl, comment))
            for kind, name, text, comment, enum in found:
                if name is not None:
                    constants.setdefault(name, []).append((rel, kind, text, comment or '', enum))
    return entries


def cells(line):
    """The cells of a Markdown table row."""
    return [c.strip() for c in line.strip().strip('|').split('|')]


def doc_entries(docs_dir, rows=None):
    """Entries by name: [{file, line, decls, errors, example}]. The rows of
    constants tables go to `rows` by name: [{file, line, value, entry}], with
    entry the name of the heading the table stands under (None outside one)."""
    entries = {}
    if rows is None:
        rows = {}
    for f in sorted(os.listdir(docs_dir)):
        if not f.endswith('.md'):
            continue
        lines = open(os.path.join(docs_dir, f), encoding='utf-8').read().split('\n')
        current = None
        heading = None
        in_code = False
        table = None  # None, 'other' or 'constants'
        fenced = False  # inside any ``` block: no table there counts
        for n, line in enumerate(lines, 1):
            if line.startswith('```'):
                fenced = not fenced
            if not fenced and line.startswith('|'):
                row = cells(line)
                if table is None:
                    table = 'constants' if [c.lower() for c in row[:2]] == ['name', 'value'] else 'other'
                elif table == 'constants' and not re.fullmatch(r'[-:\s|]+', line):
                    m = re.fullmatch(r'`([A-Za-z_]\w*)`', row[0])
                    rows.setdefault(m.group(1) if m else row[0], []).append(
                        {'file': f, 'line': n, 'value': normalise(row[1].replace('`', '')) if len(row) > 1 else '',
                         'entry': heading, 'named': bool(m)})
                continue
            table = None
            m = HEADING.match(line)
            if m:
                current = {'file': f, 'line': n, 'decls': [], 'errors': False, 'example': False}
                entries.setdefault(m.group(1), []).append(current)
                heading = m.group(1)
                continue
            if line.startswith('#'):
                current = None
                heading = None
                continue
            if current is None:
                continue
            if line.startswith('```'):
                in_code = not in_code
                continue
            if in_code:
                if line.strip():
                    current['decls'].append(normalise(line))
            elif line.startswith('Errors:'):
                current['errors'] = True
            elif line.startswith('Example:'):
                current['example'] = True
    return entries


def check(include_dir, docs_dir):
    constants = {}
    headers = header_entries(include_dir, constants)
    rows = {}
    docs = doc_entries(docs_dir, rows)
    enums = {name: v for name, v in constants.items() if v[0][1] == 'enum'}
    problems = []
    for name in sorted(headers):
        where = headers[name][0][0]
        if name not in docs:
            problems.append('%s (%s): no entry in %s; add "### `%s`" with its declaration:  %s;'
                            % (name, where, docs_dir, name, headers[name][0][1]))
            continue
        entry = docs[name][0]
        if len(docs[name]) > 1:
            problems.append('%s: %d entries (%s)' % (name, len(docs[name]),
                            ', '.join('%s:%d' % (e['file'], e['line']) for e in docs[name])))
        for rel, decl, _ in headers[name]:
            if decl not in entry['decls']:
                problems.append('%s (%s): %s:%d does not show the declaration  %s;'
                                % (name, rel, entry['file'], entry['line'], decl))
        for kind in ('errors', 'example'):
            if not entry[kind]:
                problems.append('%s: %s:%d has no "%s:" line' % (name, entry['file'], entry['line'], kind.capitalize()))
    for name in sorted(enums):
        rel, _, head, _, _ = enums[name][0]
        if name not in docs:
            problems.append('%s (%s): no entry in %s; add "### `%s`" showing  %s  and a "| Name | Value |" table of its enumerators'
                            % (name, rel, docs_dir, name, head))
            continue
        entry = docs[name][0]
        if len(docs[name]) > 1:
            problems.append('%s: %d entries (%s)' % (name, len(docs[name]),
                            ', '.join('%s:%d' % (e['file'], e['line']) for e in docs[name])))
        if head not in entry['decls']:
            problems.append('%s (%s): %s:%d does not show the declaration  %s'
                            % (name, rel, entry['file'], entry['line'], head))
    for name in sorted(constants):
        rel, kind, value, _, enum = constants[name][0]
        if kind == 'enum':
            continue
        if name not in rows:
            where = ' in the entry of %s' % enum if enum else ''
            problems.append('%s (%s): no row in a "| Name | Value |" table%s; add  | `%s` | `%s` | ... |'
                            % (name, rel, where, name, value))
            continue
        listed = rows[name]
        if len(listed) > 1:
            problems.append('%s: %d rows (%s)' % (name, len(listed),
                            ', '.join('%s:%d' % (r['file'], r['line']) for r in listed)))
        row = listed[0]
        if row['value'] != normalise(value):
            problems.append('%s (%s): %s:%d gives the value %s; the header has  %s'
                            % (name, rel, row['file'], row['line'], row['value'] or '(none)', value))
        if enum and row['entry'] != enum:
            problems.append('%s (%s): %s:%d lists it outside the entry of its enum %s'
                            % (name, rel, row['file'], row['line'], enum))
    for name in sorted(docs):
        if name not in headers and name not in enums:
            e = docs[name][0]
            if name in constants:
                problems.append('%s: %s:%d has an entry for a constant; list it in a "| Name | Value |" table'
                                % (name, e['file'], e['line']))
            else:
                problems.append('%s: %s:%d documents it, but no installed header declares it' % (name, e['file'], e['line']))
    for name in sorted(rows):
        if name not in constants or constants[name][0][1] == 'enum':
            r = rows[name][0]
            what = name if r['named'] else 'a row'
            problems.append('%s: %s:%d lists it, but no installed header declares such a constant'
                            % (what, r['file'], r['line']) if r['named'] else
                            'a row: %s:%d does not start with a `name`' % (r['file'], r['line']))
    for p in problems:
        print('reference: ' + p)
    print('reference: %d declarations and %d constants in %s, %d entries and %d table rows in %s, %d problems'
          % (sum(len(v) for v in headers.values()), len(constants) - len(enums), include_dir,
             len(docs), sum(len(v) for v in rows.values()), docs_dir, len(problems)))
    return 1 if problems else 0


def stub(include_dir, names):
    constants = {}
    headers = header_entries(include_dir, constants)
    for name in names:
        if name in constants:
            _, kind, text, comment, _ = constants[name][0]
            if kind != 'enum':
                print('| `%s` | `%s` | %s |' % (name, text, comment or '(what it means)'))
                continue
            print('### `%s`\n```cpp\n%s\n```\n%s\n\n| Name | Value | Meaning |\n|---|---|---|'
                  % (name, text, comment or '(what it is for)'))
            for other, v in constants.items():
                if v[0][1] == 'enumerator' and v[0][4] == name:
                    print('| `%s` | `%s` | %s |' % (other, v[0][2], v[0][3] or '(what it means)'))
            print()
            continue
        if name not in headers:
            print('no installed header declares %s' % name, file=sys.stderr)
            continue
        print('### `%s`\n```cpp' % name)
        for _, decl, _ in headers[name]:
            print(decl + ';')
        print('```')
        print(headers[name][0][2] or '(what it does)')
        print('\nErrors: (the numbers it raises)\n\nExample: `%s(...);`\n' % name)


def main():
    if len(sys.argv) >= 4 and sys.argv[1] == 'check':
        return check(sys.argv[2], sys.argv[3])
    if len(sys.argv) >= 4 and sys.argv[1] == 'stub':
        return stub(sys.argv[2], sys.argv[3:]) or 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == '__main__':
    sys.exit(main())
