# Sourced by the benchmarks that load into a server. The server is a real SQL Server given as
# TABRIX_MSSQL_HOST, TABRIX_MSSQL_PORT (1433), TABRIX_MSSQL_LOGIN (sa) and
# TABRIX_MSSQL_PASSWORD, or else the test server, started here with its files under "$1/server"
# and stopped when the benchmark exits. Sets host, port, login, password and server_pid (the
# test server's process; empty for a real server).
server_pid=
if [[ -n ${TABRIX_MSSQL_HOST:-} ]]; then
    host=$TABRIX_MSSQL_HOST
    port=${TABRIX_MSSQL_PORT:-1433}
    login=${TABRIX_MSSQL_LOGIN:-sa}
    password=$TABRIX_MSSQL_PASSWORD
else
    export TABRIX_TEST_SERVER_DIR="$1/server"
    rm -rf "$TABRIX_TEST_SERVER_DIR"
    line=$(scripts/test-server.sh start)
    trap 'scripts/test-server.sh stop >/dev/null' EXIT
    eval "$line"
    host=127.0.0.1
    port=$PORT
    login=$LOGIN
    password=$PASSWORD
    server_pid=$PID
fi
