#!/usr/bin/env python3
"""The program reference in docs/ against the installed headers.

    reference.py check INCLUDE_DIR DOCS_DIR
        Fails (exit 1) when a function or shared variable that a header under
        INCLUDE_DIR/morv declares has no entry in DOCS_DIR, when an entry's
        declaration differs from the header's, when an entry lacks its
        "Errors:" or "Example:" line, or when an entry names something no
        header declares. Each problem is one line naming the header.
    reference.py stub INCLUDE_DIR NAME...
        Prints an entry to start from for each NAME: its declaration and the
        comment above it in the header.

An entry is a heading "### `name`" followed by a ```cpp block holding the
declaration(s) as the header has them (whitespace aside; overloads one a line),
then the text, an "Errors:" line and an "Example:" line.
"""
import os
import re
import sys

HEADING = re.compile(r'^### `([A-Za-z_]\w*)`\s*$')


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


def declarations(path):
    """(name, declaration, comment) for every function and extern variable a
    header declares at namespace scope, in order."""
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
                    take(found, head, raw_lines, code, start)
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
            take(found, code[start:i], raw_lines, code, start)
            start = i + 1
        i += 1
    return found


def take(found, head, raw_lines, code, start):
    text = normalise(head)
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


def header_entries(include_dir):
    entries = {}
    root = os.path.join(include_dir, 'morv')
    for folder, _, files in sorted(os.walk(root)):
        for f in sorted(files):
            if not f.endswith('.h'):
                continue
            path = os.path.join(folder, f)
            rel = os.path.relpath(path, include_dir)
            previous = ''
            for name, decl, comment in declarations(path):
                comment = previous if comment is None else comment
                previous = comment
                entries.setdefault(name, []).append((rel, decl, comment))
    return entries


def doc_entries(docs_dir):
    entries = {}
    for f in sorted(os.listdir(docs_dir)):
        if not f.endswith('.md'):
            continue
        lines = open(os.path.join(docs_dir, f), encoding='utf-8').read().split('\n')
        current = None
        in_code = False
        for n, line in enumerate(lines, 1):
            m = HEADING.match(line)
            if m:
                current = {'file': f, 'line': n, 'decls': [], 'errors': False, 'example': False}
                entries.setdefault(m.group(1), []).append(current)
                continue
            if line.startswith('#'):
                current = None
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
    headers = header_entries(include_dir)
    docs = doc_entries(docs_dir)
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
    for name in sorted(docs):
        if name not in headers:
            e = docs[name][0]
            problems.append('%s: %s:%d documents it, but no installed header declares it' % (name, e['file'], e['line']))
    for p in problems:
        print('reference: ' + p)
    print('reference: %d declarations in %s, %d entries in %s, %d problems'
          % (sum(len(v) for v in headers.values()), include_dir, len(docs), docs_dir, len(problems)))
    return 1 if problems else 0


def stub(include_dir, names):
    headers = header_entries(include_dir)
    for name in names:
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
