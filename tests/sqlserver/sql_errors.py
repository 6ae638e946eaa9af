"""SQL Server's error numbers, severities, states and message texts, as the server sends them.

Errors that end the whole batch on SQL Server (conversion failures, invalid object names met at
run time, syntax errors) carry batch_abort=True; every other error ends only its statement.
"""

# number: (severity, state, text, batch_abort)
_MESSAGES = {
    102: (15, 1, "Incorrect syntax near '{}'.", True),
    103: (15, 4, "The identifier that starts with '{}' is too long. Maximum length is {}.", True),
    105: (15, 1, "Unclosed quotation mark after the character string '{}'.", True),
    109: (15, 1, "There are more columns in the INSERT statement than values specified in the "
                 "VALUES clause. The number of values in the VALUES clause must match the number "
                 "of columns specified in the INSERT statement.", True),
    110: (15, 1, "There are fewer columns in the INSERT statement than values specified in the "
                 "VALUES clause. The number of values in the VALUES clause must match the number "
                 "of columns specified in the INSERT statement.", True),
    113: (15, 1, "Missing end comment mark '*/'.", True),
    111: (15, 1, "'{}' must be the first statement in a query batch.", True),
    131: (15, 3, "The size ({}) given to the column '{}' exceeds the maximum allowed for any data "
                 "type ({}).", True),
    137: (15, 2, 'Must declare the scalar variable "{}".', True),
    156: (15, 1, "Incorrect syntax near the keyword '{}'.", True),
    159: (15, 1, "Must specify the table name and index name for the DROP INDEX statement.",
          True),
    195: (15, 10, "'{}' is not a recognized built-in function name.", True),
    207: (16, 1, "Invalid column name '{}'.", True),
    208: (16, 1, "Invalid object name '{}'.", True),
    209: (16, 1, "Ambiguous column name '{}'.", True),
    213: (16, 1, "Column name or number of supplied values does not match table definition.",
          True),
    214: (16, 2, "Procedure expects parameter '{}' of type '{}'.", False),
    220: (16, 2, "Arithmetic overflow error for data type {}, value = {}.", False),
    226: (16, 5, "{} statement not allowed within multi-statement transaction.", False),
    241: (16, 1, "Conversion failed when converting date and/or time from character string.",
          True),
    242: (16, 3, "The conversion of a {} data type to a {} data type resulted in an out-of-range "
                 "value.", True),
    281: (16, 1, "{} is not a valid style number when converting from datetime to a character "
                 "string.", False),
    206: (16, 2, "Operand type clash: {} is incompatible with {}", True),
    244: (16, 1, "The conversion of the {} value '{}' overflowed an {} column. Use a larger "
                 "integer column.", True),
    248: (16, 1, "The conversion of the {} value '{}' overflowed an int column.", True),
    257: (16, 3, "Implicit conversion from data type {} to {} is not allowed. Use the CONVERT "
                 "function to run this query.", True),
    245: (16, 1, "Conversion failed when converting the {} value '{}' to data type {}.", True),
    515: (16, 2, "Cannot insert the value NULL into column '{}', table '{}'; column does not "
                 "allow nulls. {} fails.", False),
    536: (16, 1, "Invalid length parameter passed to the {} function.", False),
    544: (16, 1, "Cannot insert explicit value for identity column in table '{}' when "
                 "IDENTITY_INSERT is set to OFF.", False),
    545: (16, 1, "Explicit value must be specified for identity column in table '{}' either when "
                 "IDENTITY_INSERT is set to ON or when a replication user is inserting into a NOT "
                 "FOR REPLICATION identity column.", False),
    547: (16, 0, 'The {} statement conflicted with the {} constraint "{}". The conflict occurred '
                 'in database "{}", table "{}"{}.', False),
    911: (16, 1, "Database '{}' does not exist. Make sure that the name is entered correctly.",
          False),
    1088: (16, 11, 'Cannot find the object "{}" because it does not exist or you do not have '
                   'permissions.', False),
    1505: (16, 1, "The CREATE UNIQUE INDEX statement terminated because a duplicate key was found "
                  "for the object name '{}' and the index name '{}'. The duplicate key value is "
                  "{}.", False),
    1750: (16, 0, "Could not create constraint or index. See previous errors.", False),
    1767: (16, 0, "Foreign key '{}' references invalid table '{}'.", False),
    1776: (16, 0, "There are no primary or candidate keys in the referenced table '{}' that match "
                  "the referencing column list in the foreign key '{}'.", False),
    1779: (16, 0, "Table '{}' already has a primary key defined on it.", False),
    1801: (16, 3, "Database '{}' already exists. Choose a different database name.", False),
    1902: (16, 3, "Cannot create more than one clustered index on table '{}'. Drop the existing "
                  "clustered index '{}' before creating another.", False),
    1913: (16, 1, "The operation failed because an index or statistics with name '{}' already "
                  "exists on table '{}'.", False),
    2601: (14, 1, "Cannot insert duplicate key row in object '{}' with unique index '{}'. The "
                  "duplicate key value is {}.", False),
    2627: (14, 1, "Violation of {} constraint '{}'. Cannot insert duplicate key in object '{}'. "
                  "The duplicate key value is {}.", False),
    2628: (16, 1, "String or binary data would be truncated in table '{}', column '{}'. "
                  "Truncated value: '{}'.", False),
    2705: (16, 3, "Column names in each table must be unique. Column name '{}' in table '{}' is "
                  "specified more than once.", False),
    2714: (16, 6, "There is already an object named '{}' in the database.", False),
    2812: (16, 62, "Could not find stored procedure '{}'.", False),
    3701: (11, 5, "Cannot drop the {} '{}', because it does not exist or you do not have "
                  "permission.", False),
    3702: (16, 4, 'Cannot drop database "{}" because it is currently in use.', False),
    3726: (16, 1, "Could not drop object '{}' because it is referenced by a FOREIGN KEY "
                  "constraint.", False),
    3727: (16, 0, "Could not drop constraint. See previous errors.", False),
    3728: (16, 1, "'{}' is not a constraint.", False),
    3902: (16, 1, "The COMMIT TRANSACTION request has no corresponding BEGIN TRANSACTION.", False),
    3903: (16, 1, "The ROLLBACK TRANSACTION request has no corresponding BEGIN TRANSACTION.",
           False),
    4060: (11, 1, 'Cannot open database "{}" requested by the login. The login failed.', False),
    4104: (16, 1, 'The multi-part identifier "{}" could not be bound.', True),
    4815: (16, 1, "Received an invalid column length from the bcp client for colid {}.", False),
    4902: (16, 1, 'Cannot find the object "{}" because it does not exist or you do not have '
                  'permissions.', False),
    4917: (16, 0, "Constraint '{}' does not exist.", False),
    4922: (16, 9, "ALTER TABLE ALTER COLUMN {} failed because one or more objects access this "
                  "column.", False),
    5074: (16, 1, "The object '{}' is dependent on column '{}'.", False),
    6401: (16, 1, "Cannot roll back {}. No transaction or savepoint of that name was found.",
           False),
    8101: (16, 1, "An explicit value for the identity column in table '{}' can only be specified "
                  "when a column list is used and IDENTITY_INSERT is ON.", False),
    8106: (16, 1, "Table '{}' does not have the identity property. Cannot perform SET operation.",
           False),
    8107: (16, 1, "IDENTITY_INSERT is already ON for table '{}'. Cannot perform SET operation for "
                  "table '{}'.", False),
    8114: (16, 5, "Error converting data type {} to {}.", True),
    8115: (16, 8, "Arithmetic overflow error converting {} to data type {}.", False),
    2715: (16, 6, "Column, parameter, or variable #{}: Cannot find data type {}.", False),
    8117: (16, 1, "Operand data type {} is invalid for {} operator.", True),
    8134: (16, 1, "Divide by zero error encountered.", False),
    8144: (16, 2, "Procedure or function {} has too many arguments specified.", False),
    8145: (16, 2, "{} is not a parameter for procedure {}.", False),
    8152: (16, 14, "String or binary data would be truncated.", False),
    8169: (16, 2, "Conversion failed when converting from a character string to uniqueidentifier.",
           True),
    10738: (15, 1, "The number of row value expressions in the INSERT statement exceeds the "
                   "maximum allowed number of 1000 row values.", True),
    104: (16, 1, "ORDER BY items must appear in the select list if the statement contains a UNION, "
                 "INTERSECT or EXCEPT operator.", False),
    120: (15, 1, "The select list for the INSERT statement contains fewer items than the insert "
                 "list. The number of SELECT values must match the number of INSERT columns.",
          True),
    121: (15, 1, "The select list for the INSERT statement contains more items than the insert "
                 "list. The number of SELECT values must match the number of INSERT columns.",
          True),
    128: (15, 1, 'The name "{}" is not permitted in this context. Valid expressions are '
                 'constants, constant expressions, and (in some contexts) variables. Column '
                 'names are not permitted.', True),
    147: (15, 1, "An aggregate may not appear in the WHERE clause unless it is in a subquery "
                 "contained in a HAVING clause or a select list, and the column being aggregated "
                 "is an outer reference.", True),
    205: (16, 1, "All queries combined using a UNION, INTERSECT or EXCEPT operator must have an "
                 "equal number of expressions in their target lists.", False),
    263: (16, 1, "Must specify table to select from.", False),
    264: (16, 1, "The column name '{}' is specified more than once in the SET clause or column "
                 "list of an INSERT. A column cannot be assigned more than one value in the same "
                 "clause. Modify the clause to make sure that a column is updated only once. If "
                 "this statement updates or inserts columns into a view, column name aliasing "
                 "can conceal the duplication in your code.", False),
    512: (16, 1, "Subquery returned more than 1 value. This is not permitted when the subquery "
                 "follows =, !=, <, <= , >, >= or when the subquery is used as an expression.",
          False),
    628: (16, 0, "Cannot issue SAVE TRANSACTION when there is no active transaction.", False),
    1701: (16, 1, "Creating or altering table '{}' failed because the minimum row size would be "
                  "{}, including {} bytes of internal overhead. This exceeds the maximum "
                  "allowable table row size of {} bytes.", False),
    1702: (16, 1, "CREATE TABLE failed because column '{}' in table '{}' exceeds the maximum of "
                  "{} columns.", False),
    1754: (16, 0, "Defaults cannot be created on columns with an IDENTITY attribute. Table '{}', "
                  "column '{}'.", False),
    1769: (16, 1, "Foreign key '{}' references invalid column '{}' in referencing table '{}'.",
           False),
    1770: (16, 1, "Foreign key '{}' references invalid column '{}' in referenced table '{}'.",
           False),
    1773: (16, 0, "Foreign key '{}' has implicit reference to object '{}' which does not have a "
                  "primary key defined on it.", False),
    1778: (16, 0, "Column '{}.{}' is not the same data type as referencing column '{}.{}' in "
                  "foreign key '{}'.", False),
    1781: (16, 0, "Column already has a DEFAULT bound to it.", False),
    1911: (16, 1, "Column name '{}' does not exist in the target table or view.", False),
    2741: (16, 1, "SET DATEFORMAT date order '{}' is invalid.", False),
    2744: (16, 2, "Multiple identity columns specified for table '{}'. Only one identity column "
                  "per table is allowed.", False),
    2749: (16, 2, "Identity column '{}' must be of data type int, bigint, smallint, tinyint, or "
                  "decimal or numeric with a scale of 0, unencrypted, and constrained to be "
                  "nonnullable.", False),
    2760: (16, 1, 'The specified schema name "{}" either does not exist or you do not have '
                  'permission to use it.', False),
    3708: (16, 1, "Cannot drop the {} '{}' because it is a system {}.", False),
    3723: (16, 4, "An explicit DROP INDEX is not allowed on index '{}'. It is being used for {} "
                  "constraint enforcement.", False),
    3725: (16, 0, "The constraint '{}' is being referenced by table '{}', foreign key constraint "
                  "'{}'.", False),
    3729: (16, 1, "Cannot drop schema '{}' because it is being referenced by object '{}'.",
           False),
    4145: (15, 1, "An expression of non-boolean type specified in a context where a condition is "
                  "expected, near '{}'.", True),
    4511: (16, 1, "Create View or Function failed because no column name was specified for "
                  "column {}.", False),
    4712: (16, 1, "Cannot truncate table '{}' because it is being referenced by a FOREIGN KEY "
                  "constraint.", False),
    4901: (16, 1, "ALTER TABLE only allows columns to be added that can contain nulls, or have a "
                  "DEFAULT definition specified, or the column being added is an identity or "
                  "timestamp column, or alternatively if none of the previous conditions are "
                  "satisfied the table must be empty to allow addition of this column. Column "
                  "'{}' cannot be added to non-empty table '{}' because it does not satisfy "
                  "these conditions.", False),
    4924: (16, 1, "ALTER TABLE ALTER COLUMN failed because column '{}' does not exist in table "
                  "'{}'.", False),
    4928: (16, 1, "Cannot alter column '{}' because it is 'IDENTITY'.", False),
    8102: (16, 1, "Cannot update identity column '{}'.", False),
    8111: (16, 1, "Cannot define PRIMARY KEY constraint on nullable column in table '{}'.",
           False),
    8139: (16, 0, "Number of referencing columns in foreign key differs from number of "
                  "referenced columns, table '{}'.", False),
    40508: (16, 1, "USE statement is not supported to switch between databases. Use a new "
                   "connection to connect to a different database.", False),
    18456: (14, 1, "Login failed for user '{}'.", True),
}


class SqlError(Exception):
    """An error as SQL Server reports it: number, severity, state, text and the batch line."""

    def __init__(self, number, severity, state, message, line=1, batch_abort=False):
        super().__init__(message)
        self.number = number
        self.severity = severity
        self.state = state
        self.message = message
        self.line = line
        self.batch_abort = batch_abort

    def __repr__(self):
        return f'SqlError({self.number}, {self.message!r})'


def sql_error(number, *args, line=1):
    severity, state, text, batch_abort = _MESSAGES[number]
    return SqlError(number, severity, state, text.format(*args), line, batch_abort)


def info(number):
    """Messages sent as INFO (severity 10 or less)."""
    return {
        5701: "Changed database context to '{}'.",
        5703: "Changed language setting to us_english.",
    }[number]
