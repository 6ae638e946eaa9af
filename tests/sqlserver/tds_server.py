#!/usr/bin/env python3
"""A SQL Server stand-in for tests: TDS 7.4 on 127.0.0.1, one thread per connection, the SQL
engine of sql_engine.py behind it.

  tds_server.py serve --state-dir DIR [--banner 2019] [--password PW] [--port 0]
  tds_server.py dump --state-dir DIR DATABASE TABLE

`serve` keeps its databases in DIR/data, writes DIR/server.json ({"port", "pid", "password"})
once it accepts connections, appends every request to DIR/statements.jsonl and reads the faults
a test asks for from DIR/faults.json (see tds_faults.py). `dump` prints a table's rows as JSON
lines straight from the store.
"""

import argparse
import itertools
import json
import os
import queue
import re
import signal
import socket
import struct
import sys
import threading
import time
import traceback

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

import sql_engine  # noqa: E402
import tds_tokens as tok  # noqa: E402
from tds_faults import Faults, InjectedError, StatementLog  # noqa: E402
from tds_types import DEFAULT_COLLATION, wire_type  # noqa: E402
from tds_wire import (ATTENTION, BULK_LOAD, LOGIN7, PRELOGIN, REPLY, RPC, SQL_BATCH,  # noqa: E402
                      TRANSACTION_MANAGER, ConnectionClosed, PacketReader, PacketWriter,
                      ProtocolError, Reader, skip_all_headers)

SERVER_NAME = 'TABRIXTEST'
PROGRAM_NAME = 'Microsoft SQL Server'
TDS_74 = 0x74000004
TDS_73B = 0x730B0003
TDS_72 = 0x72090002

# What each banner reports: product version and the highest TDS version it speaks.
BANNERS = {
    '2008R2': ((10, 50, 1600), TDS_73B),
    '2017': ((14, 0, 1000), TDS_74),
    '2019': ((15, 0, 2000), TDS_74),
    '2022': ((16, 0, 1000), TDS_74),
    'azure': ((12, 0, 2000), TDS_74),
}

# Well-known procedure ids of an RPC request sent without a name.
RPC_PROC_IDS = {1: 'sp_cursor', 2: 'sp_cursoropen', 3: 'sp_cursorprepare', 4: 'sp_cursorexecute',
                5: 'sp_cursorprepexec', 6: 'sp_cursorunprepare', 7: 'sp_cursorfetch',
                8: 'sp_cursoroption', 9: 'sp_cursorclose', 10: 'sp_executesql', 11: 'sp_prepare',
                12: 'sp_execute', 13: 'sp_prepexec', 14: 'sp_prepexecrpc', 15: 'sp_unprepare'}

TM_BEGIN, TM_COMMIT, TM_ROLLBACK, TM_SAVE = 5, 7, 8, 9

INSERT_BULK = re.compile(r'^\s*insert\s+bulk\s+(?P<table>(?:\[(?:[^\]]|\]\])*\]|"[^"]*"|[^\s(])+)'
                         r'\s*\((?P<columns>.*)\)\s*(?:with\s*\((?P<hints>[^)]*)\))?\s*;?\s*$',
                         re.I | re.S)
ROLLBACK_WORD = re.compile(r'\brollback\b', re.I)


def split_top_level(text: str) -> list:
    """Splits at commas outside parentheses, brackets and quotes."""
    parts, depth, quote, start = [], 0, None, 0
    for i, ch in enumerate(text):
        if quote:
            if ch == quote:
                quote = None
        elif ch in '["\'':
            quote = ']' if ch == '[' else ch
        elif ch == '(':
            depth += 1
        elif ch == ')':
            depth -= 1
        elif ch == ',' and depth == 0:
            parts.append(text[start:i])
            start = i + 1
    parts.append(text[start:])
    return [p.strip() for p in parts if p.strip()]


def leading_name(text: str) -> str:
    """The identifier at the start of a column definition, without its quotes."""
    text = text.strip()
    if text.startswith('['):
        end = 1
        while True:
            end = text.index(']', end)
            if text[end + 1:end + 2] == ']':
                end += 2
                continue
            return text[1:end].replace(']]', ']')
    if text.startswith('"'):
        return text[1:text.index('"', 1)]
    return text.split()[0]


class BatchReply:
    """Collects the tokens of one answer. Each statement ends with a DONE; all but the last carry
    DONE_MORE, so the DONE of the latest statement is held until the next token arrives."""

    def __init__(self, token: int = tok.DONE):
        self.parts = []
        self.pending = None
        self.token = token
        self.errors = []

    def _flush(self, more: bool) -> None:
        if self.pending is not None:
            status, count, command = self.pending
            self.parts.append(tok.done(status | (tok.DONE_MORE if more else 0), count, command,
                                       self.token))
            self.pending = None

    def add(self, data: bytes) -> None:
        self._flush(True)
        self.parts.append(data)

    def statement_done(self, status: int, count: int = 0, command: int = 0) -> None:
        self._flush(True)
        self.pending = (status, count, command)

    def error(self, number, severity, state, message, line=1) -> None:
        self.errors.append(number)
        self.add(tok.message(tok.ERROR, number, state, severity, message, SERVER_NAME, line))

    def finish(self, in_transaction: bool) -> bytes:
        if self.pending is None:
            status = tok.DONE_ERROR if self.errors else tok.DONE_FINAL
            self.pending = (status | (tok.DONE_INXACT if in_transaction else 0), 0, 0)
        self._flush(False)
        return b''.join(self.parts)


class Connection:
    def __init__(self, server, sock: socket.socket):
        self.server = server
        self.sock = sock
        self.spid = 0  # until a session is open
        self.reader = PacketReader(sock)
        self.writer = PacketWriter(sock, self.spid)
        self.session = None
        self.tds_version = TDS_74
        self.requests = queue.Queue()
        self.lock = threading.Lock()
        self.busy = False
        self.attentions = 0
        self.attentions_answered = 0
        self.cancelled = threading.Event()
        self.bulk = None
        self.transaction_ids = itertools.count(1)
        self.transaction = b''

    # --- plumbing --------------------------------------------------------------------------

    def log(self, kind: str, **fields) -> None:
        database = self.session.database if self.session else None
        self.server.log.write(conn=self.spid, kind=kind, database=database, **fields)

    def send(self, payload: bytes) -> None:
        self.writer.send(REPLY, payload)

    def protocol_error(self, reason: str) -> None:
        self.log('protocol_error', error=reason)
        try:
            self.send(tok.message(tok.ERROR, 4002, 1, 16, 'The incoming tabular data stream (TDS) '
                                  f'protocol stream is incorrect. {reason}', SERVER_NAME)
                      + tok.done(tok.DONE_ERROR))
        except OSError:
            pass

    def run(self) -> None:
        try:
            if not self.login():
                return
            listener = threading.Thread(target=self.listen, daemon=True)
            listener.start()
            self.serve_requests()
        except ProtocolError as exc:
            self.protocol_error(str(exc))
        except (ConnectionClosed, OSError):
            pass
        finally:
            self.close()

    def close(self) -> None:
        if self.session is not None:
            try:
                self.session.close()
            except Exception as exc:  # the store must not keep a dead session's locks
                self.log('close_error', error=repr(exc))
            self.session = None
            self.log('logout')
        try:
            self.sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass
        self.sock.close()

    def listen(self) -> None:
        """Reads requests while the worker answers, so that an ATTENTION reaches a running
        batch."""
        try:
            while True:
                msg = self.reader.read_message()
                if msg.kind == ATTENTION:
                    with self.lock:
                        self.attentions += 1
                        self.cancelled.set()
                        if self.busy and self.session is not None:
                            self.session.cancel()
                self.requests.put(msg)
        except ProtocolError as exc:
            self.requests.put(exc)
        except (ConnectionClosed, OSError):
            self.requests.put(None)

    def answer_attention(self) -> bool:
        with self.lock:
            if self.attentions == self.attentions_answered:
                return False
            self.attentions_answered = self.attentions
            self.cancelled.clear()
        self.log('attention')
        self.send(tok.done(tok.DONE_ATTN))
        return True

    def serve_requests(self) -> None:
        handlers = {SQL_BATCH: self.on_batch, RPC: self.on_rpc, BULK_LOAD: self.on_bulk,
                    TRANSACTION_MANAGER: self.on_transaction}
        while True:
            msg = self.requests.get()
            if msg is None:
                return
            if isinstance(msg, ProtocolError):
                raise msg
            if msg.kind == ATTENTION:
                self.answer_attention()
                continue
            handler = handlers.get(msg.kind)
            if handler is None:
                raise ProtocolError(f'unexpected message type {msg.kind:#x}')
            with self.lock:
                self.busy = True
            try:
                reply = handler(msg)
            except (ProtocolError, OSError):
                raise
            except Exception as exc:
                # A fault of this server, not of the client: say so loudly and end the session
                # as SQL Server does after an error of severity 20.
                traceback.print_exc()
                self.log('internal_error', error=repr(exc))
                self.send(tok.message(tok.ERROR, 3624, 1, 20, f'Test server fault: {exc!r}',
                                      SERVER_NAME) + tok.done(tok.DONE_ERROR | tok.DONE_SRVERROR))
                return
            finally:
                with self.lock:
                    self.busy = False
            if reply is None:  # the fault asked for a dropped connection
                return
            if not self.answer_attention():
                self.send(reply)

    # --- login -----------------------------------------------------------------------------

    def login(self) -> bool:
        msg = self.reader.read_message()
        if msg.kind == PRELOGIN:
            self.send(self.prelogin_reply(msg.payload))
            msg = self.reader.read_message()
        if msg.kind != LOGIN7:
            raise ProtocolError(f'expected LOGIN7, got message type {msg.kind:#x}')
        fields = self.parse_login7(msg.payload)
        if fields['version'] < TDS_72:
            # Older clients need 4-byte row counts and other types; none of ours is one.
            raise ProtocolError(f"TDS version {fields['version']:#010x} is older than 7.2, "
                                'which this server needs')
        engine = self.server.engine
        failure = None
        if self.server.faults.refuse_login() or not engine.check_login(fields['user'],
                                                                     fields['password']):
            failure = []
        else:
            try:
                self.session = engine.open_session(fields['user'], fields['database'] or None)
            except self.server.sql.SqlError as err:
                failure = [tok.message(tok.ERROR, err.number, err.state, err.severity,
                                       err.message, SERVER_NAME, err.line)]
        if failure is not None:
            self.log('login', user=fields['user'], error=18456)
            failure.append(tok.message(tok.ERROR, 18456, 1, 14,
                                       f"Login failed for user '{fields['user']}'.", SERVER_NAME))
            self.send(b''.join(failure) + tok.done(tok.DONE_ERROR))
            return False
        # From here on the packets carry the session's own @@SPID.
        self.spid = self.writer.spid = self.session.spid
        self.writer.packet_size = fields['packet_size']
        self.reader.max_packet = max(fields['packet_size'], 4096)
        self.log('login', user=fields['user'], app=fields['app'])
        self.send(self.login_reply(fields))
        return True

    def prelogin_reply(self, payload: bytes) -> bytes:
        r = Reader(payload)
        while True:  # only checked for shape: the answer does not depend on the client's wishes
            option = r.u8()
            if option == 0xFF:
                break
            offset, length = struct.unpack('>HH', r.take(4))
            if offset + length > len(payload):
                raise ProtocolError('PRELOGIN option outside the message')
        version = self.server.version
        options = [(0x00, struct.pack('>BBHH', version[0], version[1], version[2], 0)),
                   (0x01, b'\x02'),   # ENCRYPT_NOT_SUP: the session stays in clear text
                   (0x02, b'\x00'),
                   (0x03, b''),
                   (0x04, b'\x00')]
        head_size = 5 * len(options) + 1
        head, body = b'', b''
        for option, data in options:
            head += struct.pack('>BHH', option, head_size + len(body), len(data))
            body += data
        return head + b'\xff' + body

    @staticmethod
    def parse_login7(payload: bytes) -> dict:
        r = Reader(payload)
        length, version, packet_size = r.u32(), r.u32(), r.u32()
        if length > len(payload) or length < 94:
            raise ProtocolError(f'LOGIN7 length {length} for a message of {len(payload)} bytes')
        r.take(24)  # client program version, process id, connection id, flags, time zone, lcid

        def field(index: int, password: bool = False) -> str:
            at = 36 + 4 * index
            offset, chars = struct.unpack_from('<HH', payload, at)
            if offset + 2 * chars > length:
                raise ProtocolError('LOGIN7 field outside the message')
            raw = payload[offset:offset + 2 * chars]
            if password:  # each byte had its nibbles swapped, then XOR 0xA5
                raw = bytes((((b ^ 0xA5) << 4) & 0xF0) | ((b ^ 0xA5) >> 4) for b in raw)
            return raw.decode('utf-16-le', 'replace')

        return {'version': version, 'user': field(1), 'password': field(2, True),
                'app': field(3), 'database': field(8),
                'packet_size': min(max(packet_size or 4096, 512), 32767)}

    def login_reply(self, fields: dict) -> bytes:
        server = self.server
        database = self.session.database
        self.tds_version = min(fields['version'], server.tds_version)
        return b''.join([
            tok.envchange_text(tok.ENV_DATABASE, database, 'master'),
            tok.message(tok.INFO, 5701, 2, 0, f"Changed database context to '{database}'.",
                        SERVER_NAME),
            tok.envchange_bytes(tok.ENV_COLLATION, DEFAULT_COLLATION, b''),
            tok.envchange_text(tok.ENV_LANGUAGE, 'us_english', ''),
            tok.loginack(self.tds_version, PROGRAM_NAME, server.version),
            tok.envchange_text(tok.ENV_PACKET_SIZE, str(fields['packet_size']),
                               str(fields['packet_size'])),
            tok.done(tok.DONE_FINAL),
        ])

    # --- requests --------------------------------------------------------------------------

    def request_text(self, payload: bytes) -> str:
        r = Reader(payload)
        skip_all_headers(r)
        raw = r.take(r.remaining())
        if len(raw) % 2:
            raise ProtocolError('odd byte count in UTF-16 text')
        return raw.decode('utf-16-le', 'surrogatepass')

    def on_batch(self, msg) -> bytes:
        text = self.request_text(msg.payload)
        started = time.monotonic()
        reply = BatchReply()
        bulk = INSERT_BULK.match(text)
        rows = 0
        try:
            self.server.faults.before_batch(text, self.spid, self.cancelled)
            if bulk:
                self.start_bulk(bulk, reply)
            else:
                rows = self.run_statements(text, reply)
        except InjectedError as err:
            reply.error(err.number, err.severity, err.state, err.message)
        self.log('batch', text=text, rows=rows, errors=reply.errors,
                 ms=round((time.monotonic() - started) * 1000, 1))
        if rows and self.server.faults.rows_stored(rows):
            return None
        return reply.finish(self.in_transaction())

    def in_transaction(self) -> bool:
        return bool(self.session is not None and self.session.in_transaction)

    def transaction_change(self, before: bool, rolled_back: bool) -> bytes:
        after = self.in_transaction()
        if after and not before:
            self.transaction = struct.pack('<Q', next(self.transaction_ids))
            return tok.envchange_bytes(tok.ENV_BEGIN_TRAN, self.transaction, b'')
        if before and not after:
            old, self.transaction = self.transaction, b''
            kind = tok.ENV_ROLLBACK_TRAN if rolled_back else tok.ENV_COMMIT_TRAN
            return tok.envchange_bytes(kind, b'', old)
        return b''

    def run_statements(self, text: str, reply: BatchReply) -> int:
        """Runs a batch through the engine; returns the rows it stored. A result set's DONE
        carries the count of the RowCount that follows it."""
        sql = self.server.sql
        rows = 0
        rolled_back = bool(ROLLBACK_WORD.search(text))
        before = self.in_transaction()
        result_open = False
        try:
            for item in self.session.execute(text):
                failed = isinstance(item, sql.SqlError)
                change = self.transaction_change(before, rolled_back or failed)
                before = self.in_transaction()
                inxact = tok.DONE_INXACT if before else 0
                if result_open and not isinstance(item, sql.RowCount):
                    reply.statement_done(inxact, 0, tok.CMD_SELECT)
                if change:
                    reply.add(change)
                if isinstance(item, sql.SqlError):
                    reply.error(item.number, item.severity, item.state, item.message,
                                item.line)
                    reply.statement_done(tok.DONE_ERROR | inxact)
                elif isinstance(item, sql.ResultSet):
                    self.add_result_set(item, reply)
                elif isinstance(item, sql.RowCount):
                    command = tok.CMD_SELECT if result_open else 0
                    if item.count is None:
                        reply.statement_done(inxact, 0, command)
                    else:
                        rows += 0 if result_open else item.count
                        reply.statement_done(tok.DONE_COUNT | inxact, item.count, command)
                elif isinstance(item, sql.Info):
                    reply.add(tok.message(tok.INFO, item.number, item.state, item.severity,
                                          item.message, SERVER_NAME))
                elif isinstance(item, sql.EnvChange):
                    self.add_envchange(item, reply)
                result_open = isinstance(item, sql.ResultSet)
                if self.cancelled.is_set():
                    break
        except sql.SqlError as err:
            reply.error(err.number, err.severity, err.state, err.message, err.line)
        if result_open:
            reply.statement_done(tok.DONE_INXACT if self.in_transaction() else 0, 0,
                                 tok.CMD_SELECT)
        change = self.transaction_change(before, True)
        if change:
            reply.add(change)
        return rows

    def add_result_set(self, result, reply: BatchReply) -> None:
        columns = tok.ResultColumns(result.columns, [wire_type(c) for c in result.columns])
        out = [columns.colmetadata()]
        for row in result.rows:
            out.append(columns.row(row))
        reply.add(b''.join(out))

    def add_envchange(self, item, reply: BatchReply) -> None:
        kinds = {'database': tok.ENV_DATABASE, 'language': tok.ENV_LANGUAGE}
        if item.kind in kinds:
            reply.add(tok.envchange_text(kinds[item.kind], item.new, item.old))

    def on_rpc(self, msg) -> bytes:
        r = Reader(msg.payload)
        skip_all_headers(r)
        length = r.u16()
        name = RPC_PROC_IDS.get(r.u16(), 'sp_unknown') if length == 0xFFFF \
            else r.take(2 * length).decode('utf-16-le', 'replace')
        self.log('rpc', text=name, errors=[2812])
        reply = BatchReply(tok.DONEPROC)
        reply.error(2812, 16, 62, f"Could not find stored procedure '{name}'.")
        return reply.finish(self.in_transaction())

    def on_transaction(self, msg) -> bytes:
        r = Reader(msg.payload)
        skip_all_headers(r)
        request = r.u16()
        statements = []

        def quoted(name: str) -> str:
            return '[' + name.replace(']', ']]') + ']'

        if request == TM_BEGIN:
            r.u8()  # isolation level
            statements.append('BEGIN TRANSACTION')
        elif request in (TM_COMMIT, TM_ROLLBACK):
            name = r.b_varchar() if r.remaining() else ''
            statements.append(('COMMIT' if request == TM_COMMIT else 'ROLLBACK') + ' TRANSACTION'
                              + (' ' + quoted(name) if name else ''))
            if r.remaining() and r.u8() & 1:
                statements.append('BEGIN TRANSACTION')
        elif request == TM_SAVE:
            statements.append('SAVE TRANSACTION ' + quoted(r.b_varchar()))
        else:
            raise ProtocolError(f'transaction manager request {request} is not served')
        reply = BatchReply()
        for text in statements:
            before = self.in_transaction()
            errors = len(reply.errors)
            for item in self.session.execute(text):
                if isinstance(item, self.server.sql.SqlError):
                    reply.error(item.number, item.severity, item.state, item.message,
                                item.line)
            change = self.transaction_change(before, text.startswith('ROLLBACK'))
            if change:
                reply.add(change)
            self.log('transaction', text=text, errors=reply.errors[errors:])
        return reply.finish(self.in_transaction())

    # --- bulk load -------------------------------------------------------------------------

    def start_bulk(self, match, reply: BatchReply) -> None:
        sql = self.server.sql
        self.bulk = None
        table = match.group('table')
        hints = {h.strip().upper().split()[0] for h in (match.group('hints') or '').split(',')
                 if h.strip()}
        try:
            known = {c.name.lower(): c for c in self.session.bulk_columns(table)}
        except sql.SqlError as err:
            reply.error(err.number, err.severity, err.state, err.message, err.line)
            return
        names = [leading_name(part) for part in split_top_level(match.group('columns'))]
        unknown = [n for n in names if n.lower() not in known]
        if unknown:
            reply.error(207, 16, 1, f"Invalid column name '{unknown[0]}'.")
            return
        identity = any(known[n.lower()].identity for n in names)
        self.bulk = {'table': table, 'columns': names, 'hints': hints,
                     'keep_identity': identity or 'KEEP_IDENTITY' in hints}
        reply.statement_done(tok.DONE_FINAL)

    def on_bulk(self, msg) -> bytes:
        bulk, self.bulk = self.bulk, None
        if bulk is None:
            raise ProtocolError('a bulk load message without INSERT BULK before it')
        columns, rows = tok.read_bulk_rows(msg.payload)
        names = [c.name for c in columns]
        if len(names) != len(bulk['columns']):
            raise ProtocolError(f"a bulk load of {len(names)} columns after INSERT BULK of "
                                f"{len(bulk['columns'])}")
        reply = BatchReply()
        sql = self.server.sql
        count = 0
        try:
            self.server.faults.before_bulk(len(rows), self.spid)
            count = self.session.insert_bulk(bulk['table'], names, rows, bulk['keep_identity'],
                                             'CHECK_CONSTRAINTS' in bulk['hints'],
                                             'FIRE_TRIGGERS' in bulk['hints'])
            reply.statement_done(tok.DONE_COUNT | (tok.DONE_INXACT if self.in_transaction() else 0),
                                 count, tok.CMD_INSERT)
        except InjectedError as err:
            reply.error(err.number, err.severity, err.state, err.message)
        except sql.SqlError as err:
            reply.error(err.number, err.severity, err.state, err.message, err.line)
        self.log('bulk', text=bulk['table'], columns=names, rows=count, errors=reply.errors)
        if count and self.server.faults.rows_stored(count):
            return None
        return reply.finish(self.in_transaction())


class Server:
    def __init__(self, state_dir: str, banner: str, password: str):
        self.state_dir = state_dir
        self.sql = sql_engine
        data_dir = os.path.join(state_dir, 'data')
        os.makedirs(data_dir, exist_ok=True)
        self.engine = self.sql.Engine(data_dir, banner=banner, password=password)
        self.version, self.tds_version = BANNERS[banner]
        self.faults = Faults(os.path.join(state_dir, 'faults.json'))
        self.log = StatementLog(os.path.join(state_dir, 'statements.jsonl'))

    def serve(self, port: int, password: str) -> None:
        listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        listener.bind(('127.0.0.1', port))
        listener.listen(64)
        info = {'port': listener.getsockname()[1], 'pid': os.getpid(), 'password': password}
        ready = os.path.join(self.state_dir, 'server.json')
        with open(ready + '.tmp', 'w', encoding='utf-8') as f:
            json.dump(info, f)
        os.replace(ready + '.tmp', ready)
        while True:
            sock, _ = listener.accept()
            sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            conn = Connection(self, sock)
            threading.Thread(target=conn.run, daemon=True).start()


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.split('\n\n')[0])
    sub = parser.add_subparsers(dest='command', required=True)
    serve = sub.add_parser('serve')
    serve.add_argument('--state-dir', required=True)
    serve.add_argument('--banner', default='2019', choices=sorted(BANNERS))
    serve.add_argument('--password', required=True)
    serve.add_argument('--port', type=int, default=0)
    dump = sub.add_parser('dump')
    dump.add_argument('--state-dir', required=True)
    dump.add_argument('database')
    dump.add_argument('table')
    args = parser.parse_args(argv)
    if args.command == 'serve':
        def stop(*_):
            raise SystemExit(0)

        signal.signal(signal.SIGTERM, stop)
        server = Server(args.state_dir, args.banner, args.password)
        try:
            server.serve(args.port, args.password)
        finally:
            server.engine.close()
        return 0
    engine = sql_engine.Engine(os.path.join(args.state_dir, 'data'))
    try:
        for row in engine.dump(args.database, args.table):
            print(json.dumps(row, ensure_ascii=False, default=str))
    except (KeyError, sql_engine.SqlError) as err:
        print(f'test-server dump: no table {args.table} in database {args.database} ({err})',
              file=sys.stderr)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())
