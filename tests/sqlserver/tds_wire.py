"""TDS framing: packets on a socket, and bounds-checked little-endian reads of a message.

A TDS message is a run of packets, each with an 8-byte header: type, status (bit 0x01 marks the
last packet of the message), length of the packet including the header (big-endian), SPID
(big-endian), packet number and window. Everything inside a message is little-endian, except
the TDS version in LOGINACK.
"""

import socket
import struct

SQL_BATCH = 0x01
RPC = 0x03
REPLY = 0x04
ATTENTION = 0x06
BULK_LOAD = 0x07
TRANSACTION_MANAGER = 0x0E
LOGIN7 = 0x10
PRELOGIN = 0x12

STATUS_EOM = 0x01
HEADER_SIZE = 8
MAX_PACKET = 32767
# Bulk loads and long batches span many packets; a message past this size is taken as malformed.
MAX_MESSAGE = 256 * 1024 * 1024


class ProtocolError(Exception):
    """The client sent bytes that are not a valid TDS stream."""


class ConnectionClosed(Exception):
    """The client closed the socket between messages."""


class Message:
    def __init__(self, kind: int, payload: bytes, reset: bool):
        self.kind = kind
        self.payload = payload
        self.reset = reset


class PacketReader:
    """Reads whole messages. A peer that stops in the middle of a packet is cut off after
    `stall_seconds`, so a broken client cannot hold a session thread forever."""

    def __init__(self, sock: socket.socket, stall_seconds: float = 15.0):
        self.sock = sock
        self.stall_seconds = stall_seconds
        self.max_packet = MAX_PACKET

    def _read_exact(self, count: int, first: bool) -> bytes:
        chunks = []
        remaining = count
        while remaining:
            self.sock.settimeout(None if first and remaining == count else self.stall_seconds)
            try:
                chunk = self.sock.recv(remaining)
            except socket.timeout as exc:
                raise ProtocolError('the client stopped in the middle of a packet') from exc
            if not chunk:
                if first and remaining == count:
                    raise ConnectionClosed()
                raise ProtocolError('the stream ended in the middle of a packet')
            chunks.append(chunk)
            remaining -= len(chunk)
        return b''.join(chunks)

    def read_message(self) -> Message:
        kind = None
        parts = []
        size = 0
        reset = False
        while True:
            header = self._read_exact(HEADER_SIZE, first=kind is None)
            packet_kind, status = header[0], header[1]
            length = struct.unpack_from('>H', header, 2)[0]
            if length < HEADER_SIZE or length > self.max_packet:
                raise ProtocolError(f'packet length {length} is out of range')
            if kind is None:
                kind = packet_kind
                reset = bool(status & 0x08)
            elif packet_kind != kind:
                raise ProtocolError(f'packet type {packet_kind:#x} inside a message of type '
                                    f'{kind:#x}')
            body = self._read_exact(length - HEADER_SIZE, first=False)
            size += len(body)
            if size > MAX_MESSAGE:
                raise ProtocolError('message too long')
            parts.append(body)
            if status & STATUS_EOM:
                return Message(kind, b''.join(parts), reset)


class PacketWriter:
    def __init__(self, sock: socket.socket, spid: int):
        self.sock = sock
        self.spid = spid
        self.packet_size = 4096

    def send(self, kind: int, payload: bytes) -> None:
        room = self.packet_size - HEADER_SIZE
        number = 1
        offset = 0
        out = []
        while True:
            chunk = payload[offset:offset + room]
            offset += len(chunk)
            last = offset >= len(payload)
            header = struct.pack('>BBHHBB', kind, STATUS_EOM if last else 0,
                                 len(chunk) + HEADER_SIZE, self.spid, number & 0xFF, 0)
            out.append(header)
            out.append(chunk)
            number += 1
            if last:
                break
        self.sock.sendall(b''.join(out))


class Reader:
    """Bounds-checked reads over one message; a read past the end is a ProtocolError."""

    def __init__(self, data: bytes, offset: int = 0):
        self.data = data
        self.pos = offset

    def remaining(self) -> int:
        return len(self.data) - self.pos

    def take(self, count: int) -> bytes:
        if count < 0 or self.pos + count > len(self.data):
            raise ProtocolError(f'needed {count} bytes at offset {self.pos}, the message has '
                                f'{len(self.data) - self.pos}')
        chunk = self.data[self.pos:self.pos + count]
        self.pos += count
        return chunk

    def _unpack(self, fmt: str, size: int):
        return struct.unpack(fmt, self.take(size))[0]

    def u8(self) -> int:
        return self.take(1)[0]

    def u16(self) -> int:
        return self._unpack('<H', 2)

    def u32(self) -> int:
        return self._unpack('<I', 4)

    def i32(self) -> int:
        return self._unpack('<i', 4)

    def u64(self) -> int:
        return self._unpack('<Q', 8)

    def b_varchar(self) -> str:
        return self.take(self.u8() * 2).decode('utf-16-le', 'replace')

    def us_varchar(self) -> str:
        return self.take(self.u16() * 2).decode('utf-16-le', 'replace')


def skip_all_headers(reader: Reader) -> None:
    """Batch, RPC and transaction requests start with ALL_HEADERS (TDS 7.2 and later): a total
    length that counts itself, then headers each with their own length."""
    total = reader.u32()
    if total < 4 or total - 4 > reader.remaining():
        raise ProtocolError(f'ALL_HEADERS length {total} is out of range')
    reader.take(total - 4)


def b_varchar(text: str) -> bytes:
    raw = text.encode('utf-16-le')
    return bytes([len(raw) // 2]) + raw


def us_varchar(text: str) -> bytes:
    raw = text.encode('utf-16-le')
    return struct.pack('<H', len(raw) // 2) + raw
