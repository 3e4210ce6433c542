#!/usr/bin/env python3
"""Russian string literals of the sources, as the harvest test reads them.

Usage: scripts/i18n/harvest.py src            every literal with its first file
       scripts/i18n/harvest.py src --missing  only those without an English entry
                                              in the linked translation table, then the
                                              table's entries the sources no longer use
       scripts/i18n/harvest.py src --built    Russian texts filled (.arg) or joined (+)
                                              before they are translated: no pass finds them

Adjacent literals are joined (C++ concatenates them); comments, character
literals and raw strings are skipped; \\n, \\" and \\\\ are unescaped.
"""
import os
import re
import sys

CYRILLIC = re.compile('[А-Яа-яЁё]')


def literals(text):
    i, n = 0, len(text)
    pending = None  # the literal being joined with its neighbours
    while i < n:
        c = text[i]
        if text.startswith('//', i):
            j = text.find('\n', i)
            i = n if j < 0 else j
            continue
        if text.startswith('/*', i):
            j = text.find('*/', i + 2)
            i = n if j < 0 else j + 2
            continue
        if c == '"' and i > 0 and text[i - 1] == 'R':
            j = text.find('(', i)
            delim = ')' + text[i + 1:j] + '"'
            k = text.find(delim, j)
            i = n if k < 0 else k + len(delim)
            continue
        if c == "'":
            j = i + 1
            while j < n and text[j] != "'":
                j += 2 if text[j] == '\\' else 1
            i = j + 1
            continue
        if c == '"':
            j, parts = i + 1, []
            while j < n and text[j] != '"':
                if text[j] == '\\':
                    e = text[j + 1]
                    parts.append({'n': '\n', '"': '"', '\\': '\\'}.get(e, '\\' + e))
                    j += 2
                else:
                    parts.append(text[j])
                    j += 1
            pending = (pending or '') + ''.join(parts)
            i = j + 1
            continue
        if not c.isspace() and pending is not None:
            yield pending
            pending = None
        i += 1
    if pending is not None:
        yield pending


LITERAL = r'(?:QStringLiteral|QString::fromUtf8)\("((?:[^"\\]|\\.)*)"\)'
TRANSLATING = re.compile(r'(uiTranslate|uiText|tr|coreText|translate)\(\s*$')
NEW_LINE = 'QStringLiteral("\\n")'


def built_before_translation(text):
    """(line, code) of Russian literals filled or joined before a look-up."""
    def before(m):
        return text[max(0, m.start() - 40):m.start()]
    for m in re.finditer(LITERAL + r'\s*\.arg\(', text):
        if CYRILLIC.search(m.group(1)) and not TRANSLATING.search(before(m)):
            yield text.count('\n', 0, m.start()) + 1, m.group(0)
    for m in re.finditer(r'\+\s*' + LITERAL, text):
        if CYRILLIC.search(m.group(1)) and not text[:m.start()].rstrip().endswith(NEW_LINE):
            yield text.count('\n', 0, m.start()) + 1, m.group(0)
    for m in re.finditer(LITERAL + r'\s*\+', text):
        if CYRILLIC.search(m.group(1)) and not TRANSLATING.search(before(m)) and \
                not text[m.end():].lstrip().startswith(NEW_LINE):
            yield text.count('\n', 0, m.start()) + 1, m.group(0)


def harvest(root):
    found = {}
    for folder, _, files in os.walk(root):
        for name in sorted(files):
            if not name.endswith(('.cpp', '.h')):
                continue
            path = os.path.join(folder, name)
            with open(path, encoding='utf-8') as f:
                for s in literals(f.read()):
                    if CYRILLIC.search(s):
                        found.setdefault(s, []).append(os.path.relpath(path, root))
    return found


if __name__ == '__main__':
    if '--built' in sys.argv:
        for folder, _, files in os.walk(sys.argv[1]):
            for name in sorted(files):
                path = os.path.join(folder, name)
                if not name.endswith('.cpp') or '/ocr/' in path or name == 'ExportFileNames.cpp':
                    continue
                with open(path, encoding='utf-8') as f:
                    for line, code in built_before_translation(f.read()):
                        print(f'{os.path.relpath(path, sys.argv[1])}:{line}\t{code}')
        sys.exit(0)
    english = {}
    if '--missing' in sys.argv:
        import json
        table = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..', '..', 'build', 'resources', 'i18n',
                             'ulvo_ui_translations_multilang.json')
        with open(table, encoding='utf-8') as f:
            english = json.load(f)['translations']['en']
    found = harvest(sys.argv[1])
    for s, where in sorted(found.items(), key=lambda kv: kv[1][0]):
        if '--missing' in sys.argv and s in english:
            continue
        print(where[0] + '\t' + s.replace('\n', '\\n'))
    for s in english:
        if s not in found:
            print('stale\t' + s.replace('\n', '\\n'))
