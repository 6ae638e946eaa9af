"""T-SQL batch text → statement trees. A syntax error anywhere stops the whole batch before any
statement runs, as on SQL Server (102/156; 10738 for more than 1000 rows in one VALUES)."""

from __future__ import annotations

from decimal import Decimal

from sql_errors import sql_error
from sql_lexer import RESERVED, tokenize
from sql_types import NStr, SqlType, negate


class Node:
    """A statement or expression: `kind` plus the fields its parser sets."""

    def __init__(self, kind, **fields):
        self.kind = kind
        self.__dict__.update(fields)

    def __repr__(self):
        fields = ', '.join(f'{k}={v!r}' for k, v in self.__dict__.items() if k != 'kind')
        return f'{self.kind}({fields})'


class Name:
    """A multi-part name: server.database.schema.object (missing parts are None)."""

    def __init__(self, parts):
        parts = list(parts)
        while len(parts) < 4:
            parts.insert(0, None)
        self.server, self.database, self.schema, self.name = parts[-4:]

    def text(self):
        return '.'.join(p or '' for p in (self.database, self.schema, self.name)
                        if p is not None).lstrip('.') if self.database or self.schema else \
            self.name

    def __repr__(self):
        return f'Name({self.database}.{self.schema}.{self.name})'


SET_OPTIONS = {'quoted_identifier', 'dateformat', 'nocount', 'identity_insert', 'xact_abort',
               'fmtonly', 'ansi_nulls', 'ansi_padding', 'ansi_warnings', 'arithabort',
               'concat_null_yields_null', 'numeric_roundabort', 'implicit_transactions',
               'textsize', 'language', 'datefirst', 'lock_timeout', 'deadlock_priority',
               'transaction', 'rowcount', 'cursor_close_on_commit', 'ansi_null_dflt_on',
               'ansi_defaults', 'statistics', 'showplan_all', 'parseonly', 'noexec',
               'ansi_null_dflt_off', 'query_governor_cost_limit', 'context_info', 'nocount'}


class Parser:
    def __init__(self, text, quoted_identifier=True):
        self.text = text
        self.tokens = tokenize(text, quoted_identifier)
        self.pos = 0

    # -- token helpers ----------------------------------------------------------------------
    @property
    def tok(self):
        return self.tokens[self.pos]

    def peek(self, ahead=1):
        return self.tokens[min(self.pos + ahead, len(self.tokens) - 1)]

    def next(self):
        token = self.tokens[self.pos]
        if token.kind != 'eof':
            self.pos += 1
        return token

    def error(self, token=None):
        token = token or self.tok
        if token.kind == 'eof':
            previous = self.tokens[self.pos - 1] if self.pos else token
            return sql_error(102, previous.text, line=previous.line)
        if token.kind == 'id' and token.value.lower() in RESERVED:
            return sql_error(156, token.text, line=token.line)
        return sql_error(102, token.text, line=token.line)

    def word(self, *words):
        """Takes the next token when it is one of these words."""
        if self.tok.is_word(*words):
            return self.next().value.lower()
        return None

    def expect_word(self, *words):
        got = self.word(*words)
        if got is None:
            raise self.error()
        return got

    def op(self, *ops):
        if self.tok.kind == 'op' and self.tok.value in ops:
            return self.next().value
        return None

    def expect_op(self, op):
        if not self.op(op):
            raise self.error()

    def identifier(self):
        token = self.tok
        if token.kind == 'qid' or token.kind == 'id' and token.value.lower() not in RESERVED:
            self.pos += 1
            return token.value
        raise self.error()

    def is_identifier(self):
        token = self.tok
        return token.kind == 'qid' or token.kind == 'id' and token.value.lower() not in RESERVED

    def name(self):
        parts = [self.identifier()]
        while self.tok.kind == 'op' and self.tok.value == '.':
            self.next()
            if self.tok.kind == 'op' and self.tok.value == '.':
                parts.append(None)
                continue
            # After a dot even a reserved word names something (c.precision).
            if self.tok.kind == 'id':
                parts.append(self.next().value)
            else:
                parts.append(self.identifier())
        if len(parts) > 4:
            raise self.error()
        return Name(parts)

    def integer(self):
        token = self.next()
        if token.kind != 'num' or not isinstance(token.value, int):
            raise self.error(token)
        return token.value

    def at_statement_end(self):
        return self.tok.kind == 'eof' or self.tok.kind == 'op' and self.tok.value == ';' or \
            self.tok.is_word('end')

    # -- batch ------------------------------------------------------------------------------
    def batch(self):
        statements = []
        while True:
            while self.op(';'):
                pass
            if self.tok.kind == 'eof':
                return statements
            statements.append(self.statement())

    def block_statement(self):
        while self.op(';'):
            pass
        return self.statement()

    def statement(self):
        token = self.tok
        line = token.line
        start = self.statement_start = self.pos
        if token.kind != 'id':
            raise self.error()
        word = token.value.lower()
        handler = getattr(self, 'st_' + word, None)
        if handler is None:
            if self.peek().kind != 'eof' and word not in RESERVED and start == 0 and \
                    self.tok.kind == 'id':
                # A batch that starts with a bare name runs that procedure.
                return self.exec_call(line)
            raise self.error()
        node = handler()
        node.line = line
        node.source = self.source(start)
        return node

    def source(self, start):
        return ' '.join(t.text for t in self.tokens[start:self.pos])

    # -- statements -------------------------------------------------------------------------
    def st_use(self):
        self.next()
        return Node('use', database=self.identifier())

    def st_print(self):
        self.next()
        return Node('print', expr=self.expr())

    def st_raiserror(self):
        self.next()
        self.expect_op('(')
        args = [self.expr()]
        while self.op(','):
            args.append(self.expr())
        self.expect_op(')')
        if len(args) < 3:
            raise self.error(self.tokens[self.pos - 1])
        options = []
        if self.word('with'):
            options.append(self.expect_word('nowait', 'log', 'seterror'))
            while self.op(','):
                options.append(self.expect_word('nowait', 'log', 'seterror'))
        return Node('raiserror', args=args, options=options)

    def st_begin(self):
        self.next()
        if self.word('tran', 'transaction'):
            name = self.identifier() if self.is_identifier() else None
            return Node('begin_tran', name=name)
        if self.word('try'):
            raise self.error(self.tokens[self.pos - 1])
        body = []
        while not self.tok.is_word('end'):
            if self.tok.kind == 'eof':
                raise self.error()
            body.append(self.block_statement())
            while self.op(';'):
                pass
        self.next()
        return Node('block', body=body)

    def st_commit(self):
        self.next()
        self.word('tran', 'transaction', 'work')
        if self.is_identifier():
            self.identifier()
        return Node('commit')

    def st_rollback(self):
        self.next()
        self.word('tran', 'transaction', 'work')
        name = self.identifier() if self.is_identifier() else None
        return Node('rollback', name=name)

    def st_save(self):
        self.next()
        self.expect_word('tran', 'transaction')
        return Node('save_tran', name=self.identifier())

    def st_if(self):
        self.next()
        condition = self.condition()
        then = self.block_statement()
        otherwise = None
        while self.op(';'):
            pass
        if self.word('else'):
            otherwise = self.block_statement()
        return Node('if', condition=condition, then=then, otherwise=otherwise)

    def st_declare(self):
        self.next()
        variables = []
        while True:
            token = self.next()
            if token.kind != 'var':
                raise self.error(token)
            self.word('as')
            sql_type = self.data_type('')
            value = self.expr() if self.op('=') else None
            variables.append((token.value, sql_type, value))
            if not self.op(','):
                return Node('declare', variables=variables)

    def st_set(self):
        self.next()
        if self.tok.kind == 'var':
            name = self.next().value
            self.expect_op('=')
            return Node('set_var', name=name, expr=self.expr())
        token = self.next()
        option = str(token.value).lower() if token.kind in ('id', 'qid') else ''
        if option not in SET_OPTIONS:
            raise self.error(self.tokens[self.pos - 1])
        if option == 'identity_insert':
            table = self.name()
            return Node('set', option=option, table=table, value=self.expect_word('on', 'off'))
        if option == 'transaction':
            while not self.at_statement_end():
                self.next()
            return Node('set', option=option, value=None)
        if option in ('dateformat', 'language', 'textsize', 'datefirst', 'lock_timeout',
                      'deadlock_priority', 'rowcount', 'statistics', 'context_info'):
            if self.tok.kind == 'op' and self.tok.value == '-':
                return Node('set', option=option, value=self.signed_number())
            token = self.next()
            value = token.value.lower() if isinstance(token.value, str) else token.value
            if option == 'statistics':
                self.next()
            return Node('set', option=option, value=value)
        options = [option]
        while self.op(','):
            options.append(self.identifier().lower())
        value = self.expect_word('on', 'off')
        if len(options) > 1:
            return Node('block', body=[Node('set', option=o, value=value, line=0, source='')
                                       for o in options])
        return Node('set', option=option, value=value)

    def st_exec(self):
        self.next()
        line = self.tok.line
        if self.op('('):
            parts = [self.expr()]
            while self.op('+'):
                parts.append(self.expr())
            self.expect_op(')')
            return Node('exec_string', parts=parts)
        return self.exec_call(line)

    st_execute = st_exec

    def exec_call(self, line):
        if self.tok.kind == 'var' and self.peek().kind == 'op' and self.peek().value == '=':
            self.next()
            self.next()
        procedure = self.name()
        args = []
        while not self.at_statement_end() and not (self.tok.kind == 'id' and self.tok.value.lower()
                                                  in RESERVED):
            name = None
            if self.tok.kind == 'var' and self.peek().kind == 'op' and self.peek().value == '=':
                name = self.next().value
                self.next()
            args.append((name, self.procedure_argument()))
            self.word('output', 'out')
            if not self.op(','):
                break
        return Node('exec', procedure=procedure, args=args, line=line, source='')

    def procedure_argument(self):
        """A procedure argument: a name standing alone ([dbo], "'TABLE'", dbo) is text."""
        token = self.tok
        following = self.peek()
        alone = following.kind == 'eof' or following.kind == 'op' and following.value in (',', ';')
        if alone and (token.kind == 'qid' or token.kind == 'id' and
                      token.value.lower() not in RESERVED and token.value.lower() != 'null'):
            self.next()
            return Node('literal', value=NStr(token.value))
        return self.expr()

    def st_create(self):
        self.next()
        if self.word('database'):
            name = self.identifier()
            while not self.at_statement_end():
                self.next()
            return Node('create_database', name=name)
        if self.word('schema'):
            name = self.identifier()
            owner = self.identifier() if self.word('authorization') else None
            return Node('create_schema', name=name, owner=owner)
        if self.word('table'):
            return self.create_table()
        if self.word('view'):
            name = self.name()
            columns = self.name_list() if self.tok.kind == 'op' and self.tok.value == '(' \
                else None
            if self.word('with'):
                self.identifier()
            self.expect_word('as')
            start = self.pos
            select = self.select()
            return Node('create_view', name=name, columns=columns, select=select,
                        text=self.text_between(start),
                        definition=self.text_between(self.statement_start))
        unique = bool(self.word('unique'))
        clustered = self.word('clustered', 'nonclustered')
        if self.word('index'):
            return self.create_index(unique, clustered == 'clustered')
        if self.tok.is_word('procedure', 'proc', 'function', 'trigger'):
            raise sql_error(102, self.tok.text)
        raise self.error()

    def text_between(self, start):
        """The statement text as written from token `start` to here (view definitions)."""
        first = self.tokens[start]
        last = self.tokens[self.pos - 1]
        lines = self.text.split('\n')
        begin = self.text.find(first.text, sum(len(x) + 1 for x in lines[:first.line - 1]))
        end = self.text.find(last.text, sum(len(x) + 1 for x in lines[:last.line - 1]))
        return self.text[begin:end + len(last.text)] if begin >= 0 and end >= 0 else \
            self.source(start)

    def name_list(self):
        self.expect_op('(')
        names = [self.identifier()]
        while self.op(','):
            names.append(self.identifier())
        self.expect_op(')')
        return names

    def key_list(self):
        """(col [ASC|DESC], ...)"""
        self.expect_op('(')
        keys = []
        while True:
            column = self.identifier()
            keys.append((column, self.word('asc', 'desc') == 'desc'))
            if not self.op(','):
                break
        self.expect_op(')')
        return keys

    def create_table(self):
        name = self.name()
        self.expect_op('(')
        columns, constraints = [], []
        while True:
            if self.tok.is_word('constraint', 'primary', 'unique', 'foreign', 'check', 'index'):
                constraints.append(self.table_constraint())
            else:
                columns.append(self.column_definition(constraints))
            if self.op(')'):
                break
            self.expect_op(',')
            if self.op(')'):
                break
        while self.word('on', 'textimage_on'):
            if not self.op('('):
                self.next()
            else:
                self.next()
                self.expect_op(')')
        if self.word('with'):
            self.skip_parenthesized()
        return Node('create_table', name=name, columns=columns, constraints=constraints)

    def skip_parenthesized(self):
        self.expect_op('(')
        depth = 1
        while depth:
            token = self.next()
            if token.kind == 'eof':
                raise self.error()
            if token.kind == 'op' and token.value == '(':
                depth += 1
            elif token.kind == 'op' and token.value == ')':
                depth -= 1

    def data_type(self, column):
        token = self.tok
        type_name = self.identifier().lower()
        if type_name == 'double':
            self.expect_word('precision')
        if type_name in ('national',):
            type_name = 'n' + self.identifier().lower()
        if type_name in ('char', 'character') and self.word('varying'):
            type_name = 'varchar'
        args, is_max = [], False
        if self.op('('):
            if self.word('max'):
                is_max = True
            else:
                args.append(self.integer())
                if self.op(','):
                    args.append(self.integer())
            self.expect_op(')')
        try:
            return SqlType.declared(type_name, args, column, is_max)
        except Exception as error:
            error.line = token.line
            raise

    def column_definition(self, constraints):
        name = self.identifier()
        sql_type = self.data_type(name)
        column = Node('column', name=name, type=sql_type, nullable=None, identity=None,
                      default=None, default_name=None, rowguid=False)
        constraint_name = None
        while True:
            if self.word('null'):
                column.nullable = True
            elif self.word('not'):
                self.expect_word('null')
                column.nullable = False
            elif self.word('identity'):
                seed, step = 1, 1
                if self.op('('):
                    seed = self.signed_number()
                    self.expect_op(',')
                    step = self.signed_number()
                    self.expect_op(')')
                column.identity = (int(seed), int(step))
            elif self.word('collate'):
                column.type.collation = collation_or_default(self.identifier())
            elif self.word('constraint'):
                constraint_name = self.identifier()
                continue
            elif self.word('default'):
                start = self.pos
                column.default = self.expr()
                column.default_text = self.source(start)
                column.default_name = constraint_name
            elif self.word('primary'):
                self.expect_word('key')
                clustered = self.word('clustered', 'nonclustered')
                constraints.append(Node('primary_key', name=constraint_name,
                                        columns=[(name, False)],
                                        clustered=clustered != 'nonclustered'))
            elif self.word('unique'):
                clustered = self.word('clustered', 'nonclustered')
                constraints.append(Node('unique', name=constraint_name, columns=[(name, False)],
                                        clustered=clustered == 'clustered'))
            elif self.word('references', 'foreign'):
                if self.tokens[self.pos - 1].is_word('foreign'):
                    self.expect_word('key')
                    self.expect_word('references')
                constraints.append(self.references(constraint_name, [name]))
            elif self.word('check'):
                constraints.append(self.check(constraint_name))
            elif self.word('rowguidcol'):
                column.rowguid = True
            elif self.word('sparse', 'filestream'):
                pass
            else:
                return column
            constraint_name = None

    def signed_number(self):
        sign = -1 if self.op('-') else 1
        self.op('+')
        token = self.next()
        if token.kind != 'num':
            raise self.error(token)
        return sign * token.value

    def check(self, name):
        self.expect_op('(')
        start = self.pos
        condition = self.condition()
        text = self.source(start)
        self.expect_op(')')
        return Node('check', name=name, condition=condition, text=text)

    def references(self, name, columns):
        parent = self.name()
        parent_columns = self.name_list() if self.tok.kind == 'op' and self.tok.value == '(' \
            else None
        actions = {'delete': 'NO_ACTION', 'update': 'NO_ACTION'}
        while self.word('on'):
            event = self.expect_word('delete', 'update')
            if self.word('cascade'):
                action = 'CASCADE'
            elif self.word('set'):
                action = 'SET_' + self.expect_word('null', 'default').upper()
            else:
                self.expect_word('no')
                self.expect_word('action')
                action = 'NO_ACTION'
            actions[event] = action
        if self.word('not'):
            self.expect_word('for')
            self.expect_word('replication')
        return Node('foreign_key', name=name, columns=columns, parent=parent,
                    parent_columns=parent_columns, on_delete=actions['delete'],
                    on_update=actions['update'])

    def table_constraint(self):
        name = self.identifier() if self.word('constraint') else None
        if self.word('primary'):
            self.expect_word('key')
            clustered = self.word('clustered', 'nonclustered')
            node = Node('primary_key', name=name, columns=self.key_list(),
                        clustered=clustered != 'nonclustered')
        elif self.word('unique'):
            clustered = self.word('clustered', 'nonclustered')
            node = Node('unique', name=name, columns=self.key_list(),
                        clustered=clustered == 'clustered')
        elif self.word('foreign'):
            self.expect_word('key')
            columns = self.name_list()
            self.expect_word('references')
            node = self.references(name, columns)
        elif self.word('check'):
            node = self.check(name)
        elif self.word('default'):
            start = self.pos
            expr = self.expr()
            text = self.source(start)
            self.expect_word('for')
            node = Node('default', name=name, expr=expr, text=text, column=self.identifier())
        else:
            raise self.error()
        if self.word('with'):
            if self.tok.kind == 'op':
                self.skip_parenthesized()
            else:
                self.identifier()
                self.op('=')
                self.next()
        while self.word('on'):
            self.next()
        return node

    def create_index(self, unique, clustered):
        name = self.identifier()
        self.expect_word('on')
        table = self.name()
        keys = self.key_list()
        include = self.name_list() if self.word('include') else []
        condition = text = None
        if self.word('where'):
            start = self.pos
            condition = self.condition()
            text = self.source(start)
        if self.word('with'):
            self.skip_parenthesized()
        while self.word('on'):
            self.next()
        return Node('create_index', name=name, table=table, columns=keys, include=include,
                    unique=unique, clustered=clustered, condition=condition, filter_text=text)

    def st_alter(self):
        self.next()
        self.expect_word('table')
        table = self.name()
        if self.word('alter'):
            self.expect_word('column')
            name = self.identifier()
            sql_type = self.data_type(name)
            if self.word('collate'):
                sql_type.collation = collation_or_default(self.identifier())
            nullable = None
            if self.word('null'):
                nullable = True
            elif self.word('not'):
                self.expect_word('null')
                nullable = False
            return Node('alter_column', table=table, column=name, type=sql_type,
                        nullable=nullable)
        check = None
        if self.word('with'):
            check = self.expect_word('check', 'nocheck') == 'check'
        switch = self.word('nocheck', 'check')
        if switch:
            self.expect_word('constraint')
            names = None if self.word('all') else [self.identifier()]
            while names and self.op(','):
                names.append(self.identifier())
            return Node('switch_constraints', table=table, enable=switch == 'check',
                        names=names, validate=bool(check))
        if self.word('add'):
            items = []
            while True:
                if self.tok.is_word('constraint', 'primary', 'unique', 'foreign', 'check',
                                    'default'):
                    items.append(self.table_constraint())
                else:
                    constraints = []
                    items.append(self.column_definition(constraints))
                    items.extend(constraints)
                if not self.op(','):
                    break
            return Node('alter_add', table=table, items=items, check=check is not False)
        if self.word('drop'):
            if self.word('column'):
                names = [self.identifier()]
                while self.op(','):
                    names.append(self.identifier())
                return Node('alter_drop_column', table=table, columns=names)
            self.word('constraint')
            if_exists = self.if_exists()
            names = [self.identifier()]
            while self.op(','):
                self.word('constraint')
                names.append(self.identifier())
            return Node('alter_drop_constraint', table=table, names=names, if_exists=if_exists)
        raise self.error()

    def if_exists(self):
        if self.tok.is_word('if') and self.peek().is_word('exists'):
            self.next()
            self.next()
            return True
        return False

    def st_drop(self):
        self.next()
        what = self.expect_word('table', 'view', 'database', 'index', 'schema', 'procedure',
                                'proc')
        if_exists = self.if_exists()
        if what == 'index':
            indexes = []
            while True:
                name = self.name()
                table = self.name() if self.word('on') else None
                if table is None and name.schema is None:
                    raise sql_error(159, line=self.tok.line)
                indexes.append((name, table))
                if not self.op(','):
                    break
            return Node('drop_index', indexes=indexes, if_exists=if_exists)
        names = [self.name() if what in ('table', 'view', 'procedure', 'proc')
                 else Name([self.identifier()])]
        while self.op(','):
            names.append(self.name())
        return Node('drop', what=what, names=names, if_exists=if_exists)

    def st_truncate(self):
        self.next()
        self.expect_word('table')
        return Node('truncate', table=self.name())

    def st_insert(self):
        self.next()
        self.word('into')
        table = self.name()
        columns = self.name_list() if self.tok.kind == 'op' and self.tok.value == '(' else None
        if self.word('default'):
            self.expect_word('values')
            return Node('insert', table=table, columns=columns, rows=[[]], select=None,
                        default_values=True)
        if self.word('values'):
            rows = []
            while True:
                self.expect_op('(')
                row = [self.value_or_default()]
                while self.op(','):
                    row.append(self.value_or_default())
                self.expect_op(')')
                rows.append(row)
                if not self.op(','):
                    break
            if len(rows) > 1000:
                raise sql_error(10738, line=self.tokens[self.pos - 1].line)
            return Node('insert', table=table, columns=columns, rows=rows, select=None,
                        default_values=False)
        if self.tok.is_word('select') or self.tok.kind == 'op' and self.tok.value == '(':
            return Node('insert', table=table, columns=columns, rows=None, select=self.select(),
                        default_values=False)
        if self.tok.is_word('exec', 'execute'):
            return Node('insert', table=table, columns=columns, rows=None,
                        select=self.st_exec(), default_values=False)
        raise self.error()

    def value_or_default(self):
        if self.word('default'):
            return Node('default')
        return self.expr()

    def st_update(self):
        self.next()
        top = None
        if self.word('top'):
            self.expect_op('(')
            top = self.expr()
            self.expect_op(')')
        table = self.name()
        self.expect_word('set')
        assignments = []
        while True:
            column = self.name()
            operator = self.op('=', '+=', '-=', '*=', '/=')
            if not operator:
                raise self.error()
            value = self.value_or_default()
            if operator != '=':
                value = Node('binary', op=operator[0], left=Node('column', name=column),
                             right=value)
            assignments.append((column.name, value))
            if not self.op(','):
                break
        sources = self.from_clause() if self.word('from') else None
        where = self.condition() if self.word('where') else None
        return Node('update', table=table, assignments=assignments, sources=sources, where=where,
                    top=top)

    def st_delete(self):
        self.next()
        top = None
        if self.word('top'):
            self.expect_op('(')
            top = self.expr()
            self.expect_op(')')
        self.word('from')
        table = self.name()
        sources = self.from_clause() if self.word('from') else None
        where = self.condition() if self.word('where') else None
        return Node('delete', table=table, sources=sources, where=where, top=top)

    def st_select(self):
        return self.select()

    # -- queries ----------------------------------------------------------------------------
    def select(self):
        if self.op('('):
            query = self.select()
            self.expect_op(')')
        else:
            query = self.select_core()
        while self.tok.is_word('union', 'except', 'intersect'):
            operator = self.next().value.lower()
            all_rows = bool(self.word('all'))
            right = self.select_core()
            query = Node('set_op', op=operator, all=all_rows, left=query, right=right,
                         order=None)
        if self.word('order'):
            self.expect_word('by')
            query.order = self.order_list()
        return query

    def order_list(self):
        order = []
        while True:
            expr = self.expr()
            order.append((expr, self.word('asc', 'desc') == 'desc'))
            if not self.op(','):
                return order

    def select_core(self):
        self.expect_word('select')
        distinct = bool(self.word('distinct'))
        self.word('all')
        top = None
        if self.word('top'):
            if self.op('('):
                top = self.expr()
                self.expect_op(')')
            else:
                top = Node('literal', value=self.integer())
            self.word('percent')
        items = []
        while True:
            items.append(self.select_item())
            if not self.op(','):
                break
        into = self.name() if self.word('into') else None
        sources = self.from_clause() if self.word('from') else []
        where = self.condition() if self.word('where') else None
        group = None
        if self.word('group'):
            self.expect_word('by')
            group = [self.expr()]
            while self.op(','):
                group.append(self.expr())
        having = self.condition() if self.word('having') else None
        return Node('select', distinct=distinct, top=top, items=items, into=into,
                    sources=sources, where=where, group=group, having=having, order=None)

    def select_item(self):
        if self.tok.kind == 'op' and self.tok.value == '*':
            self.next()
            return Node('star', qualifier=None)
        if self.tok.kind == 'var' and self.peek().kind == 'op' and self.peek().value == '=':
            variable = self.next().value
            self.next()
            return Node('assign', variable=variable, expr=self.expr())
        if self.is_identifier() and self.peek().kind == 'op' and self.peek().value == '=' and \
                not self.tok.value.startswith('@'):
            alias = self.identifier()
            self.next()
            return Node('item', expr=self.expr(), alias=alias)
        if (self.tok.kind == 'str') and self.peek().kind == 'op' and self.peek().value == '=':
            alias = self.next().value
            self.next()
            return Node('item', expr=self.expr(), alias=alias)
        start = self.pos
        # qualifier.* ?
        if self.is_identifier():
            save = self.pos
            parts = [self.identifier()]
            while self.op('.'):
                if self.op('*'):
                    return Node('star', qualifier=Name(parts))
                if not self.is_identifier():
                    break
                parts.append(self.identifier())
            self.pos = save
        expr = self.expr()
        alias = None
        if self.word('as'):
            alias = self.identifier() if self.tok.kind != 'str' else self.next().value
        elif self.is_identifier() or self.tok.kind == 'str':
            alias = self.next().value
        written = self.source(start)
        return Node('item', expr=expr, alias=alias, written=written)

    def from_clause(self):
        sources = [self.table_source()]
        while True:
            if self.op(','):
                sources.append(self.table_source())
                continue
            join = None
            if self.word('join'):
                join = 'inner'
            elif self.word('inner'):
                self.expect_word('join')
                join = 'inner'
            elif self.word('left', 'right', 'full'):
                join = self.tokens[self.pos - 1].value.lower()
                self.word('outer')
                self.expect_word('join')
            elif self.word('cross'):
                self.expect_word('join')
                sources.append(self.table_source())
                continue
            if join is None:
                return sources
            right = self.table_source()
            self.expect_word('on')
            right.join = join
            right.on = self.condition()
            sources.append(right)

    def table_source(self):
        if self.op('('):
            query = self.select()
            self.expect_op(')')
            self.word('as')
            return Node('derived', query=query, alias=self.identifier(), join=None, on=None)
        name = self.name()
        if self.op('('):
            args = [] if self.op(')') else None
            if args is None:
                args = [self.expr()]
                while self.op(','):
                    args.append(self.expr())
                self.expect_op(')')
            self.word('as')
            alias = self.identifier() if self.is_identifier() else None
            return Node('function_source', name=name, args=args, alias=alias, join=None,
                        on=None)
        alias = None
        if self.word('as'):
            alias = self.identifier()
        elif self.is_identifier():
            alias = self.identifier()
        if self.word('with'):
            self.skip_parenthesized()
        return Node('table', name=name, alias=alias, join=None, on=None)

    # -- expressions ------------------------------------------------------------------------
    def condition(self):
        left = self.condition_and()
        while self.word('or'):
            left = Node('or', left=left, right=self.condition_and())
        return left

    def condition_and(self):
        left = self.condition_not()
        while self.word('and'):
            left = Node('and', left=left, right=self.condition_not())
        return left

    def condition_not(self):
        if self.word('not'):
            return Node('not', expr=self.condition_not())
        return self.predicate()

    def predicate(self):
        if self.word('exists'):
            self.expect_op('(')
            query = self.select()
            self.expect_op(')')
            return Node('exists', query=query)
        if self.tok.kind == 'op' and self.tok.value == '(':
            # A parenthesized condition or an expression in parentheses.
            save = self.pos
            self.next()
            try:
                inner = self.condition()
                self.expect_op(')')
                if inner.kind in ('or', 'and', 'not', 'compare', 'is_null', 'in', 'like',
                                  'between', 'exists') and not self.is_operator_next():
                    return inner
            except Exception:
                pass
            self.pos = save
        left = self.expr()
        negated = bool(self.word('not'))
        if self.word('is'):
            negated = bool(self.word('not'))
            self.expect_word('null')
            return Node('is_null', expr=left, negated=negated)
        if self.word('in'):
            self.expect_op('(')
            if self.tok.is_word('select'):
                values = self.select()
            else:
                values = [self.expr()]
                while self.op(','):
                    values.append(self.expr())
            self.expect_op(')')
            return Node('in', expr=left, values=values, negated=negated)
        if self.word('like'):
            pattern = self.expr()
            escape = self.expr() if self.word('escape') else None
            return Node('like', expr=left, pattern=pattern, escape=escape, negated=negated)
        if self.word('between'):
            low = self.expr()
            self.expect_word('and')
            return Node('between', expr=left, low=low, high=self.expr(), negated=negated)
        if negated:
            raise self.error()
        operator = self.op('=', '<>', '!=', '<', '>', '<=', '>=', '!<', '!>')
        if operator:
            operator = {'!=': '<>', '!<': '>=', '!>': '<='}.get(operator, operator)
            if self.word('any', 'some', 'all'):
                raise self.error(self.tokens[self.pos - 1])
            return Node('compare', op=operator, left=left, right=self.expr())
        return Node('truth', expr=left)

    def is_operator_next(self):
        return self.tok.kind == 'op' and self.tok.value in ('+', '-', '*', '/', '%', '=', '<>',
                                                           '<', '>', '<=', '>=', '!=')

    def expr(self):
        left = self.term()
        while self.tok.kind == 'op' and self.tok.value in ('+', '-', '&', '|', '^'):
            operator = self.next().value
            left = Node('binary', op=operator, left=left, right=self.term())
        return left

    def term(self):
        left = self.unary()
        while self.tok.kind == 'op' and self.tok.value in ('*', '/', '%'):
            operator = self.next().value
            left = Node('binary', op=operator, left=left, right=self.unary())
        return left

    def unary(self):
        if self.op('-'):
            operand = self.unary()
            if operand.kind == 'literal' and isinstance(operand.value, (int, float, Decimal)) \
                    and not isinstance(operand.value, bool):
                return Node('literal', value=negate(operand.value))
            return Node('negate', expr=operand)
        if self.op('+'):
            return self.unary()
        if self.op('~'):
            return Node('bitnot', expr=self.unary())
        return self.primary()

    def primary(self):
        token = self.tok
        if token.kind in ('str', 'num', 'bin'):
            self.next()
            return Node('literal', value=token.value)
        if token.kind == 'var':
            self.next()
            return Node('variable', name=token.value)
        if token.kind == 'op' and token.value == '(':
            self.next()
            if self.tok.is_word('select'):
                query = self.select()
                self.expect_op(')')
                return Node('subquery', query=query)
            inner = self.expr()
            self.expect_op(')')
            return inner
        if token.kind == 'op' and token.value == '$':
            self.next()
            value = self.signed_number()
            return Node('literal', value=value)
        if token.is_word('null'):
            self.next()
            return Node('literal', value=None)
        if token.is_word('case'):
            return self.case()
        if token.is_word('cast', 'try_cast'):
            self.next()
            self.expect_op('(')
            value = self.expr()
            self.expect_word('as')
            sql_type = self.data_type('')
            self.expect_op(')')
            return Node('cast', expr=value, type=sql_type, style=None,
                        safe=token.value.lower() == 'try_cast')
        if token.is_word('convert', 'try_convert'):
            self.next()
            self.expect_op('(')
            sql_type = self.data_type('')
            self.expect_op(',')
            value = self.expr()
            style = self.expr() if self.op(',') else None
            self.expect_op(')')
            return Node('cast', expr=value, type=sql_type, style=style,
                        safe=token.value.lower() == 'try_convert')
        if token.is_word('coalesce', 'nullif', 'current_timestamp', 'user', 'current_user',
                         'session_user', 'system_user', 'identity', 'left', 'right'):
            self.next()
            name = token.value.lower()
            if name in ('current_timestamp', 'current_user', 'session_user', 'system_user',
                        'user') and not (self.tok.kind == 'op' and self.tok.value == '('):
                return Node('function', name=name, args=[], star=False)
            return self.function_call(name)
        if token.kind == 'qid' or token.kind == 'id' and token.value.lower() not in RESERVED:
            name = self.name()
            if self.tok.kind == 'op' and self.tok.value == '(':
                return self.function_call(name.name.lower(), name)
            return Node('column', name=name)
        raise self.error()

    def function_call(self, name, qualified=None):
        self.expect_op('(')
        args, star, distinct = [], False, False
        if self.op('*'):
            star = True
        elif not (self.tok.kind == 'op' and self.tok.value == ')'):
            distinct = bool(self.word('distinct'))
            args.append(self.expr())
            while self.op(','):
                args.append(self.expr())
        self.expect_op(')')
        if self.word('over'):
            self.skip_parenthesized()
        return Node('function', name=name, args=args, star=star, distinct=distinct,
                    schema=qualified.schema if qualified else None,
                    written=qualified.name if qualified else name)

    def case(self):
        self.next()
        operand = None
        if not self.tok.is_word('when'):
            operand = self.expr()
        whens = []
        while self.word('when'):
            condition = self.expr() if operand is not None else self.condition()
            self.expect_word('then')
            whens.append((condition, self.expr()))
        otherwise = self.expr() if self.word('else') else None
        self.expect_word('end')
        return Node('case', operand=operand, whens=whens, otherwise=otherwise)


def collation_or_default(name):
    return None if name.upper() == 'DATABASE_DEFAULT' else name


def parse_whole(text, part):
    """Text that must be exactly one `part` ('expr', 'condition' or 'select'), as the catalog
    keeps defaults, filters, checks and views."""
    parser = Parser(text)
    tree = getattr(parser, part)()
    if parser.tok.kind != 'eof':
        raise parser.error()
    return tree


def parse_expression(text):
    return parse_whole(text, 'expr')


def parse_condition(text):
    return parse_whole(text, 'condition')


def parse_select(text):
    return parse_whole(text, 'select')
