"""T-SQL tokens: names ([..]] escapes, "..." under QUOTED_IDENTIFIER), literals ('' escapes,
N'...', 0x..., numbers), variables, operators; comments (nested /* */ and --) are skipped."""

from __future__ import annotations

import re
from decimal import Decimal

from sql_errors import sql_error
from sql_types import NStr

# Reserved words: a name spelled like one must be quoted, and a syntax error names it as keyword.
RESERVED = frozenset('''
add all alter and any as asc authorization backup begin between break browse bulk by cascade
case check checkpoint close clustered coalesce collate column commit compute constraint contains
containstable continue convert create cross current current_date current_time current_timestamp
current_user cursor database dbcc deallocate declare default delete deny desc disk distinct
distributed double drop dump else end errlvl escape except exec execute exists exit external
fetch file fillfactor for foreign freetext freetexttable from full function goto grant group
having holdlock identity identity_insert identitycol if in index inner insert intersect into is
join key kill left like lineno load merge national nocheck nonclustered not null nullif of off
offsets on open opendatasource openquery openrowset openxml option or order outer over percent
pivot plan precision primary print proc procedure public raiserror read readtext reconfigure
references replication restore restrict return revert revoke right rollback rowcount rowguidcol
rule save schema securityaudit select semantickeyphrasetable session_user set setuser shutdown
some statistics system_user table tablesample textsize then to top tran transaction trigger
truncate try_convert tsequal union unique unpivot update updatetext use user values varying view
waitfor when where while with writetext'''.split())


class Token:
    __slots__ = ('kind', 'value', 'text', 'line')

    def __init__(self, kind, value, text, line):
        self.kind = kind      # id, qid, str, num, bin, var, op, eof
        self.value = value
        self.text = text      # as written, for error messages
        self.line = line

    def is_word(self, *words):
        return self.kind == 'id' and self.value.lower() in words

    def __repr__(self):
        return f'{self.kind}:{self.text}'


_CONTINUATION = re.compile(r'\\\r?\n')
_NUMBER = re.compile(r'(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?')
_WORD = re.compile(r'[A-Za-z_#\u0080-\uffff][A-Za-z0-9_@#$\u0080-\uffff]*')
_VAR = re.compile(r'@@?[A-Za-z0-9_@#$]*')
_OPERATORS = ('<>', '!=', '<=', '>=', '!<', '!>', '+=', '-=', '*=', '/=', '::')


def tokenize(text, quoted_identifier=True):
    tokens = []
    i, line, n = 0, 1, len(text)
    while i < n:
        c = text[i]
        if c == '\n':
            line += 1
            i += 1
            continue
        if c.isspace():
            i += 1
            continue
        if text.startswith('--', i):
            end = text.find('\n', i)
            i = n if end < 0 else end
            continue
        if text.startswith('/*', i):
            depth, j = 1, i + 2
            while j < n and depth:
                if text.startswith('/*', j):
                    depth, j = depth + 1, j + 2
                elif text.startswith('*/', j):
                    depth, j = depth - 1, j + 2
                else:
                    j += 1
            if depth:
                raise sql_error(113, line=line)
            line += text.count('\n', i, j)
            i = j
            continue
        start_line = line
        if c in 'Nn' and text.startswith("'", i + 1) or c == "'":
            start = i
            value, i = _quoted(text, i + (c != "'"), "'", line)
            line += text.count('\n', start, i)
            # A backslash that ends a line inside a string continues it: both go.
            value = _CONTINUATION.sub('', value)
            tokens.append(Token('str', NStr(value) if c != "'" else value, text[start:i],
                                start_line))
            continue
        if c == '[':
            value, i = _quoted(text, i, ']', line)
            _check_length(value, start_line)
            tokens.append(Token('qid', value, '[' + value + ']', start_line))
            line += value.count('\n')
            continue
        if c == '"':
            value, i = _quoted(text, i, '"', line)
            kind = 'qid' if quoted_identifier else 'str'
            if kind == 'qid':
                _check_length(value, start_line)
            tokens.append(Token(kind, value, '"' + value + '"', start_line))
            line += value.count('\n')
            continue
        if c == '0' and text[i + 1:i + 2] in ('x', 'X'):
            j = i + 2
            while j < n and text[j] in '0123456789abcdefABCDEF':
                j += 1
            digits = text[i + 2:j]
            if len(digits) % 2:
                digits = '0' + digits
            tokens.append(Token('bin', bytes.fromhex(digits), text[i:j], line))
            i = j
            continue
        if c.isdigit() or c == '.' and i + 1 < n and text[i + 1].isdigit():
            match = _NUMBER.match(text, i)
            written = match.group(0)
            if match.group(2):
                value = float(written)
            elif '.' in written:
                value = Decimal(written)
            else:
                value = int(written)
                if value >= 2**63:
                    value = Decimal(written)
            tokens.append(Token('num', value, written, line))
            i = match.end()
            continue
        if c == '@':
            match = _VAR.match(text, i)
            tokens.append(Token('var', match.group(0).lower(), match.group(0), line))
            i = match.end()
            continue
        match = _WORD.match(text, i)
        if match:
            _check_length(match.group(0), line)
            tokens.append(Token('id', match.group(0), match.group(0), line))
            i = match.end()
            continue
        two = text[i:i + 2]
        if two in _OPERATORS:
            tokens.append(Token('op', two, two, line))
            i += 2
            continue
        if c in '=<>+-*/%(),.;&|^~!:$':
            tokens.append(Token('op', c, c, line))
            i += 1
            continue
        raise sql_error(102, c, line=line)
    tokens.append(Token('eof', None, '', line))
    return tokens


def _check_length(name, line):
    """Names are at most 128 characters (sysname)."""
    if len(name) > 128:
        raise sql_error(103, name[:128], 128, line=line)


def _quoted(text, i, close, line):
    """The body of a quoted literal or name starting at text[i]; a doubled closing character
    stands for itself."""
    parts = []
    j = i + 1
    while True:
        end = text.find(close, j)
        if end < 0:
            raise sql_error(105, text[i + 1:], line=line)
        parts.append(text[j:end])
        if text.startswith(close * 2, end):
            parts.append(close)
            j = end + 2
            continue
        return ''.join(parts), end + 1
