"""Faults a test asks for, and the statement log a test reads.

A test writes `faults.json` in the server's state folder (scripts/test-server.sh fault '{...}');
the server reads it before each login, batch and bulk load, and restarts its counts whenever the
file changes. Keys, each optional:
  "refuse_login": true | N          refuse every login, or the next N logins (error 18456)
  "fail_statement": {"n": N, "match": REGEX, "number": E, "message": TEXT}
                                    the Nth batch (counting only batches that match) fails once
                                    with error E (default 1205, a deadlock victim) and is not run
  "fail_bulk_row": {"n": N, "number": E, "message": TEXT}
                                    the bulk batch holding the Nth row received fails once; none
                                    of its rows is stored
  "drop_after_rows": N              once N rows have been stored (statements and bulk loads), the
                                    connection is closed instead of answering
  "delay": {"seconds": S, "match": REGEX}
                                    every batch (that matches) waits S seconds before it runs;
                                    an ATTENTION ends the wait
"""

import json
import os
import re
import threading
import time


class InjectedError(Exception):
    def __init__(self, number: int, message: str, severity: int = 16, state: int = 1):
        super().__init__(message)
        self.number = number
        self.message = message
        self.severity = severity
        self.state = state


DEADLOCK = (1205, 13, 'Transaction (Process ID {spid}) was deadlocked on lock resources with '
                      'another process and has been chosen as the deadlock victim. Rerun the '
                      'transaction.')


class Faults:
    def __init__(self, path: str):
        self.path = path
        self.lock = threading.Lock()
        self.stamp = None
        self.spec = {}
        self.logins = 0
        self.statements = 0
        self.bulk_rows = 0
        self.stored_rows = 0
        self.fired = set()

    def _current(self) -> dict:
        """Reads the file when it changed; called with the lock held."""
        try:
            st = os.stat(self.path)
            stamp = (st.st_mtime_ns, st.st_size, st.st_ino)
        except FileNotFoundError:
            stamp = None
        if stamp != self.stamp:
            self.stamp = stamp
            self.spec = {}
            if stamp is not None:
                with open(self.path, encoding='utf-8') as f:
                    text = f.read().strip()
                self.spec = json.loads(text) if text else {}
            self.logins = self.statements = self.bulk_rows = self.stored_rows = 0
            self.fired = set()
        return self.spec

    def refuse_login(self) -> bool:
        with self.lock:
            refuse = self._current().get('refuse_login')
            if refuse is True:
                return True
            if isinstance(refuse, int) and refuse > 0:
                self.logins += 1
                return self.logins <= refuse
            return False

    def before_batch(self, text: str, spid: int, cancelled: threading.Event) -> None:
        """Waits or raises as the faults ask, before a batch runs."""
        with self.lock:
            spec = self._current()
            delay = spec.get('delay')
            failure = spec.get('fail_statement')
            raise_it = None
            if failure and re.search(failure.get('match', ''), text, re.I | re.S):
                self.statements += 1
                if self.statements == failure.get('n', 1) and 'statement' not in self.fired:
                    self.fired.add('statement')
                    raise_it = failure
        if delay and re.search(delay.get('match', ''), text, re.I | re.S):
            cancelled.wait(float(delay.get('seconds', 0)))
        if raise_it is not None:
            raise _injected(raise_it, spid)

    def before_bulk(self, row_count: int, spid: int) -> None:
        with self.lock:
            failure = self._current().get('fail_bulk_row')
            first = self.bulk_rows + 1
            self.bulk_rows += row_count
            if (failure and 'bulk' not in self.fired
                    and first <= failure.get('n', 1) <= self.bulk_rows):
                self.fired.add('bulk')
                raise _injected(failure, spid)

    def rows_stored(self, count: int) -> bool:
        """Counts stored rows; True when the connection is to be dropped now."""
        with self.lock:
            limit = self._current().get('drop_after_rows')
            self.stored_rows += count
            if limit is not None and self.stored_rows >= limit and 'drop' not in self.fired:
                self.fired.add('drop')
                return True
            return False


def _injected(failure: dict, spid: int) -> InjectedError:
    number, severity, text = DEADLOCK
    if 'number' in failure:
        number, severity = int(failure['number']), int(failure.get('severity', 16))
        text = failure.get('message', 'Injected failure.')
    return InjectedError(number, text.format(spid=spid), severity)


class StatementLog:
    """One JSON object per line: what each session asked and how it ended."""

    def __init__(self, path: str):
        self.path = path
        self.lock = threading.Lock()

    def write(self, **entry) -> None:
        entry['time'] = round(time.time(), 3)
        line = json.dumps(entry, ensure_ascii=False, default=str) + '\n'
        with self.lock, open(self.path, 'a', encoding='utf-8') as f:
            f.write(line)
