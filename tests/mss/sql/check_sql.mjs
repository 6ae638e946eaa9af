// Parses every statement of generated T-SQL scripts with an independent parser.
//
//   node check_sql.mjs PATH...      PATH: a script, or a folder whose *.sql files are checked
//
// Each script must be UTF-8 without a byte-order mark. It is split into batches at its "GO"
// lines, as sqlcmd does, and every batch is parsed by sqlparser-rs (@guanmingchiu/sqlparser-ts,
// dialect "mssql"). The statement forms that parser does not read are listed in
// OTHER_PARSER_FORMS with the reason; batches of those forms are parsed by node-sql-parser
// (dialect "transactsql") instead. Batches of the forms in BOTH_PARSER_FORMS are parsed by both. Exit status 0 when every batch parses, 1 otherwise.
import { readFileSync, readdirSync, statSync } from 'node:fs';
import { join } from 'node:path';

let sqlparser;
let nodeSqlParser;
try {
    sqlparser = await import('@guanmingchiu/sqlparser-ts');
    nodeSqlParser = (await import('node-sql-parser')).default;
} catch (e) {
    console.error('The parsers are not installed: run "npm install" in ' +
                  new URL('.', import.meta.url).pathname + ' (' + e.message + ')');
    process.exit(1);
}

// Statement forms sqlparser-rs (0.62, MS SQL dialect) cannot read, with the reason.
const OTHER_PARSER_FORMS = [
    {
        pattern: /^CREATE\s+CLUSTERED\s+INDEX\s/i,
        reason: 'sqlparser-rs has no CLUSTERED / NONCLUSTERED option in CREATE INDEX',
    },
];

// Statement forms that both parsers must read, in the scripts whose name holds "two-parsers"
// (the others hold texts that node-sql-parser misreads: it takes a backslash in a string for
// an escape).
const TWO_PARSER_SCRIPTS = /two-parsers/;
const BOTH_PARSER_FORMS = [
    {
        pattern: /^INSERT\s+INTO\s[\s\S]*\),\r?\n\(/i,
        reason: 'INSERT of several rows (the script format that loads fast)',
    },
];

// Statements that are wrong must not parse: a parser that accepts anything checks nothing.
// Those marked `both` must fail with both parsers (node-sql-parser reads some of the others).
const MUST_FAIL = [
    { text: 'INSERT INTO [dbo].[t] ([a]) VALUES (1, );', both: true },
    { text: "INSERT INTO [dbo].[t] ([a]) VALUES (N'it's');", both: true },
    { text: 'CREATE TABLE [dbo].[t] (\r\n\t[a] INT,\r\n)', both: false },
    { text: 'CREATE TABLE [dbo].[t (\r\n\t[a] INT\r\n)', both: false },
    { text: 'INSERT INTO [dbo].[t] ([a]) VALUES (1),\r\n(2),;', both: true },
];

function scripts(paths) {
    const files = [];
    for (const path of paths) {
        if (statSync(path).isDirectory()) {
            for (const name of readdirSync(path).sort()) {
                if (name.toLowerCase().endsWith('.sql'))
                    files.push(join(path, name));
            }
        } else {
            files.push(path);
        }
    }
    return files;
}

// Batches of a script, split as sqlcmd splits them: at a line that holds only "GO" (any case,
// optionally a repeat count) outside string literals, bracketed or quoted names and comments.
// Each batch keeps the line number where it starts.
function batches(text) {
    const result = [];
    let start = 0;
    let startLine = 1;
    let line = 1;
    let lineStart = 0;
    let state = 'code'; // code | string | bracket | quoted | block | line
    let depth = 0; // nesting of block comments
    for (let i = 0; i <= text.length; i++) {
        const c = text[i];
        if (i === lineStart && state === 'code') {
            const end = text.indexOf('\n', i);
            const content = text.slice(i, end < 0 ? text.length : end);
            if (/^\s*go(\s+\d+)?\s*$/i.test(content)) {
                result.push({ line: startLine, text: text.slice(start, i) });
                start = end < 0 ? text.length : end + 1;
                startLine = line + 1;
            }
        }
        if (c === undefined)
            break;
        const next = text[i + 1];
        switch (state) {
        case 'code':
            if (c === "'") state = 'string';
            else if (c === '[') state = 'bracket';
            else if (c === '"') state = 'quoted';
            else if (c === '/' && next === '*') { state = 'block'; depth = 1; i++; }
            else if (c === '-' && next === '-') { state = 'line'; i++; }
            break;
        case 'string':
            if (c === "'") { if (next === "'") i++; else state = 'code'; }
            break;
        case 'bracket':
            if (c === ']') { if (next === ']') i++; else state = 'code'; }
            break;
        case 'quoted':
            if (c === '"') { if (next === '"') i++; else state = 'code'; }
            break;
        case 'block':
            if (c === '/' && next === '*') { depth++; i++; }
            else if (c === '*' && next === '/') { if (--depth === 0) state = 'code'; i++; }
            break;
        case 'line':
            if (c === '\n') state = 'code';
            break;
        }
        if (text[i] === '\n') {
            line++;
            lineStart = i + 1;
        }
    }
    result.push({ line: startLine, text: text.slice(start) });
    return result;
}

function withoutComments(text) {
    return text.replace(/\/\*[\s\S]*?\*\//g, ' ').replace(/--[^\n]*/g, ' ').trim();
}

function parseWithSqlparser(text) {
    sqlparser.parse(text, 'mssql');
}

function parseWithNodeSqlParser(text) {
    new nodeSqlParser.Parser().astify(text, { database: 'transactsql' });
}

await sqlparser.init();

let failures = 0;
for (const bad of MUST_FAIL) {
    const parsers = [['sqlparser-rs', parseWithSqlparser]];
    if (bad.both)
        parsers.push(['node-sql-parser', parseWithNodeSqlParser]);
    for (const [name, parse] of parsers) {
        try {
            parse(bad.text);
            console.error(`parser self-check: ${name} accepted a wrong statement: ` +
                          JSON.stringify(bad.text));
            failures++;
        } catch {
            // as it should
        }
    }
}

const paths = process.argv.slice(2);
if (paths.length === 0) {
    console.error('usage: node check_sql.mjs SCRIPT_OR_FOLDER...');
    process.exit(1);
}
const files = scripts(paths);
if (files.length === 0) {
    console.error('no scripts found in ' + paths.join(', '));
    process.exit(1);
}

const counts = { files: 0, batches: 0, sqlparser: 0, other: 0, both: 0 };
for (const file of files) {
    const bytes = readFileSync(file);
    if (bytes.length >= 3 && bytes[0] === 0xef && bytes[1] === 0xbb && bytes[2] === 0xbf) {
        console.error(`${file}: starts with a byte-order mark`);
        failures++;
        continue;
    }
    let text;
    try {
        text = new TextDecoder('utf-8', { fatal: true }).decode(bytes);
    } catch {
        console.error(`${file}: not UTF-8`);
        failures++;
        continue;
    }
    counts.files++;
    for (const batch of batches(text)) {
        const statement = withoutComments(batch.text);
        if (statement === '')
            continue;
        counts.batches++;
        const form = OTHER_PARSER_FORMS.find((f) => f.pattern.test(statement));
        // The batch as it is: string literals may hold what looks like a comment.
        const both = !form && TWO_PARSER_SCRIPTS.test(file) &&
                     BOTH_PARSER_FORMS.some((f) => f.pattern.test(batch.text.trim()));
        let parser = form ? 'node-sql-parser' : 'sqlparser-rs';
        try {
            if (form) {
                parseWithNodeSqlParser(batch.text);
                counts.other++;
            } else {
                parseWithSqlparser(batch.text);
                counts.sqlparser++;
            }
            if (both) {
                parser = 'node-sql-parser';
                // node-sql-parser reads no "]]" inside a bracketed name: such a name becomes
                // a plain one for it.
                parseWithNodeSqlParser(batch.text.replace(/\[(?:[^\]\r\n]|\]\])*\]/g,
                                                          (name) => name.replaceAll(']]', '_')));
                counts.both++;
            }
        } catch (e) {
            failures++;
            console.error(`${file}:${batch.line}: ${parser}: ${String(e.message || e)}`);
            console.error('    ' + batch.text.slice(0, 400).replace(/\n/g, '\n    '));
        }
    }
}

console.log(`${counts.files} scripts, ${counts.batches} batches: ${counts.sqlparser} parsed by ` +
            `sqlparser-rs (mssql), ${counts.other} by node-sql-parser (transactsql), ` +
            `${counts.both} by both`);
for (const form of OTHER_PARSER_FORMS)
    console.log(`  ${form.pattern}: ${form.reason}`);
for (const form of BOTH_PARSER_FORMS)
    console.log(`  both parsers: ${form.pattern}: ${form.reason}`);
process.exit(failures === 0 ? 0 : 1);
