"""The test server at the level of TDS packets: what no driver sends on purpose (malformed
streams, bulk loads shaped in every allowed way, requests the drivers rarely use). Each case is
checked afterwards through the ODBC driver or the store."""

import socket
import struct
import unittest

from server_fixture import ServerTestCase
from tds_tokens import COLMETADATA, DONE, DONEPROC, ENVCHANGE, ERROR, INFO, LOGINACK, NBCROW, ROW
from tds_types import (BIGVARBINARY, BIGVARCHAR, DEFAULT_COLLATION, INT4, INTN, NVARCHAR,
                       PLP_UNKNOWN, WireType)
from tds_wire import (ATTENTION, BULK_LOAD, LOGIN7, PRELOGIN, RPC, SQL_BATCH,
                      TRANSACTION_MANAGER, PacketReader, PacketWriter, Reader, b_varchar)

ALL_HEADERS = struct.pack('<IIHQI', 22, 18, 2, 0, 1)   # one transaction descriptor header


def login7(user: str, password: str, database: str = '',
           version: int = 0x74000004) -> bytes:
    def scramble(text):
        return bytes((((b << 4) & 0xF0) | (b >> 4)) ^ 0xA5 for b in text.encode('utf-16-le'))

    fields = [('host', b'test'.decode().encode('utf-16-le')), ('user', user.encode('utf-16-le')),
              ('password', scramble(password)), ('app', 'raw'.encode('utf-16-le')),
              ('server', b''), ('extension', b''), ('library', 'raw'.encode('utf-16-le')),
              ('language', b''), ('database', database.encode('utf-16-le'))]
    offset = 94
    table, data = b'', b''
    for index, (_, raw) in enumerate(fields):
        table += struct.pack('<HH', offset + len(data), len(raw) // 2)
        data += raw
        if index == 8:
            table += b'\0' * 6     # client id
    table += struct.pack('<HHHHHHI', offset + len(data), 0, offset + len(data), 0,
                         offset + len(data), 0, 0)
    head = struct.pack('<IIIIII4BiI', 94 + len(data), version, 4096, 7, 1, 0,
                       0xE0, 0x03, 0, 0, 0, 0x409)
    assert len(head + table) == 94
    return head + table + data


def tokens(payload: bytes) -> list:
    """(token, fields) of a reply made of messages, environment changes, LOGINACK and DONEs."""
    r = Reader(payload)
    out = []
    while r.remaining():
        token = r.u8()
        if token in (ERROR, INFO):
            body = Reader(r.take(r.u16()))
            number, state, severity = body.i32(), body.u8(), body.u8()
            out.append((token, (number, severity, body.us_varchar())))
        elif token == ENVCHANGE:
            out.append((token, r.take(r.u16())[0]))
        elif token == LOGINACK:
            out.append((token, struct.unpack_from('>I', r.take(r.u16()), 1)[0]))
        elif token in (DONE, DONEPROC):
            status, _, count = struct.unpack('<HHQ', r.take(12))
            out.append((token, (status, count)))
        else:
            raise AssertionError(f'token {token:#x} is not read by these tests')
    return out


class RawSession:
    def __init__(self, server, database=''):
        self.sock = socket.create_connection((server.host, server.port), timeout=30)
        self.reader = PacketReader(self.sock)
        self.writer = PacketWriter(self.sock, 0)
        self.server = server
        self.database = database

    def login(self, version: int = 0x74000004) -> list:
        prelogin = struct.pack('>BHHB', 0, 6, 6, 0xFF) + b'\x0b\x00\x00\x00\x00\x00'
        self.writer.send(PRELOGIN, prelogin)
        self.reader.read_message()
        return self.request(LOGIN7, login7(self.server.login, self.server.password,
                                           self.database, version))

    def request(self, kind: int, payload: bytes) -> list:
        self.writer.send(kind, payload)
        return tokens(self.reader.read_message().payload)

    def batch(self, text: str) -> list:
        return self.request(SQL_BATCH, ALL_HEADERS + text.encode('utf-16-le'))

    def closed_by_server(self) -> bool:
        """True when the server closed the connection (after any last reply)."""
        self.sock.settimeout(30)
        try:
            while self.sock.recv(65536):
                pass
            return True
        except ConnectionResetError:
            return True
        except socket.timeout:
            return False

    def close(self):
        self.sock.close()


def errors(reply) -> list:
    return [fields[0] for token, fields in reply if token == ERROR]


def plp(data: bytes, chunk: int, known_length: bool = True) -> bytes:
    out = [struct.pack('<Q', len(data) if known_length else PLP_UNKNOWN)]
    for at in range(0, len(data), chunk):
        out.append(struct.pack('<I', len(data[at:at + chunk])) + data[at:at + chunk])
    return b''.join(out) + b'\0\0\0\0'


class ProtocolTests(ServerTestCase):
    def raw(self, database=''):
        session = RawSession(self.server, database)
        self.addCleanup(session.close)
        return session

    def test_login_reply_sequence(self):
        reply = self.raw().login()
        self.assertEqual([t for t, _ in reply], [ENVCHANGE, INFO, ENVCHANGE, ENVCHANGE, LOGINACK,
                                                 ENVCHANGE, DONE])
        self.assertEqual([f for t, f in reply if t == ENVCHANGE], [1, 7, 2, 4])
        self.assertEqual(reply[1][1][0], 5701)
        self.assertEqual(reply[4][1], 0x74000004)

    def test_clients_older_than_tds_72_are_turned_away(self):
        session = self.raw()
        self.assertEqual(errors(session.login(0x71000001)), [4002])
        self.assertTrue(session.closed_by_server())

    def test_malformed_streams_close_the_connection(self):
        cases = {
            'short packet length': b'\x12\x01\x00\x04\x00\x00\x01\x00',
            'login fields outside the message': struct.pack('>BBHHBB', LOGIN7, 1, 8 + 94, 0, 1, 0)
            + struct.pack('<I', 94) + b'\xff' * 90,
            'a packet cut short': struct.pack('>BBHHBB', SQL_BATCH, 1, 200, 0, 1, 0) + b'abc',
        }
        for name, data in cases.items():
            with self.subTest(name):
                session = self.raw()
                session.sock.sendall(data)
                session.sock.shutdown(socket.SHUT_WR)
                self.assertTrue(session.closed_by_server())
        after_login = {
            'unknown message type': (0x55, b'xx'),
            'bulk load without INSERT BULK': (BULK_LOAD, b'\x81\x00\x00'),
            'batch text of odd length': (SQL_BATCH, ALL_HEADERS + b'abc'),
        }
        for name, (kind, payload) in after_login.items():
            with self.subTest(name):
                session = self.raw()
                session.login()
                self.assertEqual(errors(session.request(kind, payload)), [4002])
                self.assertTrue(session.closed_by_server())
        connected, out = self.server.query('SELECT 1')
        self.assertTrue(connected, 'the server still serves new sessions')

    def test_rpc_is_refused_with_2812(self):
        session = self.raw()
        session.login()
        reply = session.request(RPC, ALL_HEADERS + struct.pack('<HHH', 0xFFFF, 10, 0))
        self.assertEqual(reply[0][1][:2], (2812, 16))
        self.assertIn("'sp_executesql'", reply[0][1][2])
        self.assertEqual(reply[-1][0], DONEPROC)
        self.assertEqual(session.batch('SET NOCOUNT ON'), [(DONE, (0, 0))], 'the session goes on')

    def test_attention_when_idle_is_acknowledged(self):
        session = self.raw()
        session.login()
        reply = session.request(ATTENTION, b'')
        self.assertEqual(reply, [(DONE, (0x20, 0))])

    def test_transaction_manager_requests(self):
        db = self.server.new_database(self)
        session = self.raw(db)
        session.login()
        session.batch('CREATE TABLE t (k int)')
        begin = session.request(TRANSACTION_MANAGER, ALL_HEADERS + struct.pack('<HBB', 5, 0, 0))
        self.assertEqual([f for t, f in begin if t == ENVCHANGE], [8])
        session.batch('INSERT INTO t VALUES (1)')
        rollback = session.request(TRANSACTION_MANAGER,
                                   ALL_HEADERS + struct.pack('<HBB', 8, 0, 0))
        self.assertEqual([f for t, f in rollback if t == ENVCHANGE], [10])
        self.assertEqual(self.server.query('SELECT COUNT(*) FROM t', database=db)[1][0].rows,
                         [['0']])

    def test_bulk_load_of_long_values_in_every_form(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (id int IDENTITY(1,1) NOT NULL, n int NOT NULL, '
                    'v varchar(max) NULL, w nvarchar(max) NULL, b varbinary(max) NULL)',
                    database=db)
        session = self.raw(db)
        session.login()
        reply = session.batch('insert bulk t ([n] int, [v] varchar(max), [w] nvarchar(max), '
                              '[b] varbinary(max)) with (TABLOCK)')
        self.assertEqual(errors(reply), [])
        columns = [('n', WireType(INT4, 4), 0), ('v', WireType(BIGVARCHAR, 0xFFFF,
                                                              collation=DEFAULT_COLLATION), 1),
                   ('w', WireType(NVARCHAR, 0xFFFF, collation=DEFAULT_COLLATION), 1),
                   ('b', WireType(BIGVARBINARY, 0xFFFF), 1)]
        meta = struct.pack('<BH', COLMETADATA, len(columns)) + b''.join(
            struct.pack('<IH', 0, flags) + wt.metadata() + b_varchar(name)
            for name, wt, flags in columns)
        text = 'x\u00e9' * 50000                      # 100 000 characters, many packets
        rows = [
            bytes([ROW]) + struct.pack('<i', 1) + plp(text.encode('cp1252'), 4000)
            + plp(text.encode('utf-16-le'), 65536, known_length=False) + plp(b'\x00\xff' * 9000,
                                                                              7),
            # NBCROW: v and b are NULL (bits 1 and 3), w is empty.
            bytes([NBCROW, 0b1010]) + struct.pack('<i', 2) + plp(b'', 1),
            bytes([ROW]) + struct.pack('<i', 3) + struct.pack('<Q', 0xFFFFFFFFFFFFFFFF) * 3,
        ]
        done = struct.pack('<BHHQ', DONE, 0, 0, 0)
        reply = session.request(BULK_LOAD, meta + b''.join(rows) + done)
        self.assertEqual(reply, [(DONE, (0x10, 3))])
        out = self.run_ok('SELECT id, n, LEN(v), LEN(w), DATALENGTH(b) FROM t ORDER BY n',
                          database=db)
        self.assertEqual(out[0].rows, [['1', '1', '100000', '100000', '18000'],
                                       ['2', '2', None, '0', None],
                                       ['3', '3', None, None, None]])
        if not self.server.real:
            first = self.server.dump(db, 't')[0]
            self.assertEqual((first['v'], first['w'], first['b']),
                             (text, text, '00ff' * 9000))

    def test_bulk_rows_that_do_not_match_their_metadata(self):
        db = self.server.new_database(self)
        self.run_ok('CREATE TABLE t (n int NULL)', database=db)
        session = self.raw(db)
        session.login()
        session.batch('insert bulk t ([n] int)')
        meta = struct.pack('<BHIH', COLMETADATA, 1, 0, 1) + bytes([INTN, 4]) + b_varchar('n')
        reply = session.request(BULK_LOAD, meta + bytes([ROW, 4]) + b'\x01\x00')
        self.assertEqual(errors(reply), [4002])
        self.assertTrue(session.closed_by_server())
        self.assertEqual(self.server.query('SELECT COUNT(*) FROM t', database=db)[1][0].rows,
                         [['0']])


class OldServerProtocolTests(ServerTestCase):
    banner = '2008R2'

    def test_sql_server_2008_r2_answers_with_tds_73(self):
        self.server.need_test_server(self)
        session = RawSession(self.server)
        self.addCleanup(session.close)
        self.assertIn((LOGINACK, 0x730B0003), session.login())


if __name__ == '__main__':
    unittest.main()
