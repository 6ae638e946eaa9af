"""What a batch yields, in the shape the protocol side turns into TDS tokens."""

from __future__ import annotations

from dataclasses import dataclass, field


@dataclass
class ColumnInfo:
    """What COLMETADATA says of one column. length: characters for (n)char/(n)varchar, bytes for
    (var)binary, -1 for (MAX); scale: fractional second digits for time/datetime2."""
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
    rows: list = field(default_factory=list)


@dataclass
class RowCount:
    """DONE with DONE_COUNT when count is not None (None under SET NOCOUNT ON)."""
    count: int | None


@dataclass
class Info:
    """PRINT, 5701 (database changed), 5703 (language) and other messages below severity 11."""
    number: int
    message: str
    state: int = 1
    severity: int = 0


@dataclass
class EnvChange:
    """'database' after USE."""
    kind: str
    new: str
    old: str
