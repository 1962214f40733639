// Reads a JUnit-style report with npm's junit2json command, as CI jobs that
// use it do, and checks the test cases and failures in its JSON.
//   node junit2json_check.mjs JUNIT2JSON FILE --cases N --failures N [--message TEXT]...
//        [--contains TEXT]... [--passed NAME]... [--min-length N]
import { execFileSync } from "node:child_process";

const [tool, file, ...rest] = process.argv.slice(2);
const want = { message: [], contains: [], passed: [], "min-length": 0 };
for (let i = 0; i < rest.length; i += 2) {
  const key = rest[i].replace(/^--/, "");
  if (Array.isArray(want[key])) want[key].push(rest[i + 1]);
  else want[key] = Number(rest[i + 1]);
}

let json;
try {
  json = execFileSync(process.execPath, [tool, file], { maxBuffer: 256 * 1024 * 1024, encoding: "utf8" });
} catch (e) {
  console.log(`FAIL: junit2json could not read ${file}: ${e.stderr || e.message}`);
  process.exit(1);
}
const report = JSON.parse(json);
const cases = (report.testsuite || []).flatMap((s) => s.testcase || []);
const texts = new Map(cases.map((c) => [c.name, (c.failure || []).map((f) => (f.inner || "").trim())]));
const failureTexts = [...texts.values()].flat();

const problems = [];
if (cases.length !== want.cases) problems.push(`${cases.length} test cases, expected ${want.cases}`);
const failed = [...texts.values()].filter((t) => t.length > 0).length;
if (failed !== want.failures) problems.push(`${failed} failed test cases, expected ${want.failures}`);
for (const m of want.message)
  if (!failureTexts.includes(m)) problems.push(`no failure reads ${JSON.stringify(m)}`);
for (const m of want.contains)
  if (!failureTexts.some((t) => t.includes(m))) problems.push(`no failure contains ${JSON.stringify(m)}`);
for (const name of want.passed) {
  if (!texts.has(name)) problems.push(`no test case named ${JSON.stringify(name)}`);
  else if (texts.get(name).length) problems.push(`${name} is shown as failed`);
}
const longest = Math.max(0, ...failureTexts.map((t) => t.length));
if (longest < want["min-length"])
  problems.push(`longest failure text has ${longest} characters, expected at least ${want["min-length"]}`);

for (const p of problems) console.log(`FAIL: junit2json: ${p}`);
if (!problems.length) console.log(`ok: junit2json reads ${cases.length} test cases, ${failed} failed`);
process.exit(problems.length ? 1 : 0);
