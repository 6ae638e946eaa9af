"""A small stand-in for the SQL engine, enough to drive the protocol side: CREATE TABLE,
CREATE DATABASE, USE, INSERT ... VALUES, SELECT * FROM, SET FMTONLY, BEGIN/COMMIT/ROLLBACK."""

import datetime
import decimal
import os
import pickle
import re
import threading
import uuid
from dataclasses import dataclass, field


class SqlError(Exception):
    def __init__(self, number, message, severity=16, state=1, line=1, batch_abort=False):
        super().__init__(message)
        self.number, self.message, self.severity = number, message, severity
        self.state, self.line, self.batch_abort = state, line, batch_abort


@dataclass
class ColumnInfo:
    name: str
    type: str
    length: int = 0
    precision: int = 0
    scale: int = 0
    nullable: bool = True
    identity: bool = False
    collation: bytes = b''


@dataclass
class ResultSet:
    columns: list
    rows: list


@dataclass
class RowCount:
    count: int


@dataclass
class Info:
    number: int
    message: str
    state: int = 1
    severity: int = 0


@dataclass
class EnvChange:
    kind: str
    new: str
    old: str


COLUMN = re.compile(r'\[?(\w+)\]?\s+(\w+)(?:\s*\((\w+)(?:\s*,\s*(\d+))?\))?(.*)', re.I)
LITERAL = re.compile(r"\s*(NULL|N?'(?:[^']|'')*'|0x[0-9a-fA-F]*|-?[\d.]+(?:[eE][-+]?\d+)?)\s*(,|$)",
                     re.I)


def parse_column(text):
    m = COLUMN.match(text.strip())
    name, type_, a, b, rest = m.groups()
    type_ = type_.lower()
    col = ColumnInfo(name, type_, nullable='NOT NULL' not in rest.upper(),
                     identity='IDENTITY' in rest.upper())
    if type_ in ('decimal', 'numeric'):
        col.precision, col.scale = int(a or 18), int(b or 0)
    elif type_ in ('time', 'datetime2'):
        col.scale = int(a) if a else 7
    elif a:
        col.length = -1 if a.upper() == 'MAX' else int(a)
    return col


def convert(col, value):
    if value is None or not isinstance(value, (str, decimal.Decimal)):
        return value
    t = col.type
    if t in ('tinyint', 'smallint', 'int', 'bigint'):
        return int(value)
    if t == 'bit':
        return bool(int(value))
    if t in ('decimal', 'numeric', 'money', 'smallmoney'):
        return decimal.Decimal(str(value))
    if t in ('real', 'float'):
        return float(value)
    if t == 'date':
        return datetime.date.fromisoformat(value)
    if t == 'time':
        return datetime.time.fromisoformat(value)
    if t in ('datetime', 'datetime2', 'smalldatetime'):
        return datetime.datetime.fromisoformat(value)
    if t == 'uniqueidentifier':
        return uuid.UUID(value)
    if t in ('binary', 'varbinary'):
        return bytes(value)
    return str(value)


class Engine:
    def __init__(self, data_dir, banner='2019', password=''):
        self.dir = data_dir
        self.password = password
        self.lock = threading.RLock()
        os.makedirs(os.path.join(data_dir, 'master'), exist_ok=True)

    def check_login(self, user, password):
        return user == 'sa' and password == self.password

    def open_session(self, user, database):
        database = database or 'master'
        if not os.path.isdir(os.path.join(self.dir, database)):
            raise SqlError(4060, f'Cannot open database "{database}" requested by the login. '
                           'The login failed.', 11)
        return Session(self, database)

    def path(self, database, table):
        return os.path.join(self.dir, database, table.lower() + '.pickle')

    def load(self, database, table):
        try:
            with open(self.path(database, table), 'rb') as f:
                return pickle.load(f)
        except FileNotFoundError:
            raise SqlError(208, f"Invalid object name '{table}'.") from None

    def save(self, database, table, data):
        with open(self.path(database, table), 'wb') as f:
            pickle.dump(data, f)

    def dump(self, database, table):
        columns, rows = self.load(database, table)
        for row in rows:
            yield {c.name: (v.hex() if isinstance(v, bytes) else v) for c, v in zip(columns, row)}


class Session:
    def __init__(self, engine, database):
        self.engine = engine
        self.database = database
        self.in_transaction = False
        self.cancelled = False
        self.nocount = False

    def bulk_columns(self, table):
        return self.engine.load(self.database, table.strip('[]'))[0]

    def insert_bulk(self, table, columns, rows, keep_identity, check_constraints, fire_triggers):
        with self.engine.lock:
            table = table.strip('[]')
            cols, data = self.engine.load(self.database, table)
            self._append(table, cols, data, columns, rows, keep_identity)
            return len(rows)

    def _append(self, table, cols, data, names, rows, keep_identity):
        index = {c.name.lower(): i for i, c in enumerate(cols)}
        for row in rows:
            full = [None] * len(cols)
            for name, value in zip(names, row):
                full[index[name.lower()]] = convert(cols[index[name.lower()]], value)
            for i, c in enumerate(cols):
                if c.identity and (full[i] is None or not keep_identity):
                    full[i] = len(data) + 1
                if full[i] is None and not c.nullable:
                    raise SqlError(515, f"Cannot insert the value NULL into column '{c.name}', "
                                   f"table '{self.database}.dbo.{table}'; column does not allow "
                                   "nulls. INSERT fails.")
            data.append(tuple(full))
        self.engine.save(self.database, table, (cols, data))

    def cancel(self):
        self.cancelled = True

    def close(self):
        self.in_transaction = False

    def execute(self, text):
        self.cancelled = False
        for statement in [s for s in re.split(r';\s*|\n', text) if s.strip()]:
            if self.cancelled:
                return
            try:
                yield from self._statement(statement.strip())
            except SqlError as err:
                yield err

    def _statement(self, s):
        up = s.upper()
        m = re.match(r'SET FMTONLY ON\s+select \* from (\S+)\s+SET FMTONLY OFF', s, re.I)
        if m:
            yield ResultSet(self.bulk_columns(m.group(1)), [])
        elif up.startswith('SET'):
            if up.startswith('SET NOCOUNT'):
                self.nocount = up.endswith('ON')
        elif up.startswith('CREATE DATABASE'):
            name = s.split()[2].strip('[]')
            path = os.path.join(self.engine.dir, name)
            if os.path.isdir(path):
                raise SqlError(1801, f"Database '{name}' already exists. Choose a different "
                               "database name.")
            os.makedirs(path)
        elif up.startswith('USE'):
            name = s.split()[1].strip('[]')
            if not os.path.isdir(os.path.join(self.engine.dir, name)):
                raise SqlError(911, f"Database '{name}' does not exist. Make sure that the name "
                               "is entered correctly.")
            old, self.database = self.database, name
            yield EnvChange('database', name, old)
            yield Info(5701, f"Changed database context to '{name}'.")
        elif up.startswith('CREATE TABLE'):
            m = re.match(r'CREATE TABLE \[?(\w+)\]?\s*\((.*)\)\s*$', s, re.I | re.S)
            table = m.group(1)
            if os.path.exists(self.engine.path(self.database, table)):
                raise SqlError(2714, f"There is already an object named '{table}' in the "
                               "database.")
            cols = [parse_column(c) for c in re.split(r',(?![^(]*\))', m.group(2))]
            self.engine.save(self.database, table, (cols, []))
        elif up.startswith('INSERT INTO'):
            m = re.match(r'INSERT INTO \[?(\w+)\]?\s*VALUES\s*\((.*)\)\s*$', s, re.I | re.S)
            table = m.group(1)
            values, rest = [], m.group(2)
            while rest.strip():
                lit = LITERAL.match(rest)
                if not lit:
                    raise SqlError(102, f"Incorrect syntax near '{rest[:20]}'.", 15)
                values.append(self._literal(lit.group(1)))
                rest = rest[lit.end():]
            with self.engine.lock:
                cols, data = self.engine.load(self.database, table)
                names = [c.name for c in cols if not c.identity]
                self._append(table, cols, data, names, [values], False)
            yield RowCount(None if self.nocount else 1)
        elif up.startswith('SELECT * FROM'):
            table = s.split()[3].strip('[]')
            cols, data = self.engine.load(self.database, table)
            yield ResultSet(cols, data)
        elif up.startswith('SELECT DB_NAME()'):
            yield ResultSet([ColumnInfo('', 'nvarchar', 128)], [(self.database,)])
        elif up.startswith('BEGIN TRAN'):
            self.in_transaction = True
        elif up.startswith('COMMIT') or up.startswith('ROLLBACK'):
            self.in_transaction = False
        elif up.startswith('PRINT'):
            yield Info(0, s[5:].strip().strip("'"))
        else:
            raise SqlError(102, f"Incorrect syntax near '{s.split()[0]}'.", 15)

    @staticmethod
    def _literal(text):
        if text.upper() == 'NULL':
            return None
        if text.startswith(("'", "N'")):
            return text[text.index("'") + 1:-1].replace("''", "'")
        if text.lower().startswith('0x'):
            return bytes.fromhex(text[2:])
        return decimal.Decimal(text)
