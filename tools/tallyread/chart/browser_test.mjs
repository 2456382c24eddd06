// Opens chart pages written by tallyread in headless Chromium and checks,
// from inside each page, that it loaded without a script error and that every
// chart holds the series and values tallyread csv gives for the same selection.
//   node browser_test.mjs TALLYREAD WORKDIR
//   node browser_test.mjs TALLYREAD WORKDIR --screenshot OUT.png ARCHIVE
//   node browser_test.mjs TALLYREAD WORKDIR --open PAGE.html   (prints the ms until it is drawn)
// Exits 77 (skipped) when the browser or its driver is not installed.
import { execFileSync } from 'node:child_process';
import { existsSync, mkdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import path from 'node:path';
import { fileURLToPath, pathToFileURL } from 'node:url';

const here = path.dirname(fileURLToPath(import.meta.url));
const [tallyread, workdir, ...rest] = process.argv.slice(2);
const chromium = process.env.CHROMIUM || '/usr/bin/chromium';
let driver;
try {
  driver = createRequire(path.join(here, 'package.json'))('playwright-core');
} catch (e) {
  console.log('skipped: playwright-core is not installed (npm ci --prefix ' + here + ')');
  process.exit(77);
}
if (!existsSync(chromium)) {
  console.log('skipped: no browser at ' + chromium + ' (apt-get install chromium)');
  process.exit(77);
}

let failures = 0;
let seriesCompared = 0, pointsCompared = 0;
function check(ok, what) {
  if (!ok) { failures++; console.log('FAIL: ' + what); }
}
function run(args) { return execFileSync(tallyread, args, { encoding: 'utf8' }); }

// tallyread csv of one type and field: per instance, [time, value] of each
// record that has a value.
function csvPoints(archive, type, field, rate, range) {
  const lines = run(['csv', archive, '--type', type, '--fields', field, ...(rate ? ['--rate'] : []), ...range])
    .trim().split('\n');
  const byInstance = new Map();
  for (const line of lines.slice(1)) {
    const [time, instance, value] = line.split(',');
    if (value === '') continue;
    if (!byInstance.has(instance)) byInstance.set(instance, []);
    byInstance.get(instance).push([Number(time), Number(value)]);
  }
  return byInstance;
}

// What the charts hold, read from the charting library's own data.
async function chartsOf(page) {
  return page.evaluate(() => window.tallyPage.charts.map((c) => ({
    title: c.title,
    where: c.where,
    canvases: c.box.querySelectorAll('canvas').length,
    series: c.series.map((s, i) => ({
      type: s.type, instance: s.instance, field: s.field, sum: s.sum, rate: s.rate !== null,
      label: c.plot.series[i + 1].label,
      points: c.plot.data[0].map((t, k) => [t, c.plot.data[i + 1][k]]).filter((p) => p[1] != null),
    })),
  })));
}

async function open(browser, file) {
  const page = await browser.newPage({ viewport: { width: 1400, height: 1500 } });
  const errors = [];
  page.on('pageerror', (e) => errors.push(String(e)));
  page.on('console', (m) => { if (m.type() === 'error') errors.push(m.text()); });
  const started = Date.now();
  await page.goto(pathToFileURL(file).href);
  await page.waitForFunction(() => window.tallyPage && window.tallyPage.ready, null, { timeout: 30000 });
  page.openMs = Date.now() - started;  // from the request to every chart drawn
  errors.push(...(await page.evaluate(() => window.tallyPage.errors)));
  check(errors.length === 0, file + ': script errors: ' + errors.join('; '));
  return page;
}

function samePoints(actual, expected, what) {
  seriesCompared++;
  pointsCompared += expected.length;
  check(actual.length === expected.length, what + ': ' + actual.length + ' points, csv has ' + expected.length);
  for (let i = 0; i < Math.min(actual.length, expected.length); i++) {
    const [t, v] = actual[i], [et, ev] = expected[i];
    if (Math.abs(t - et) > 1e-6 || Math.abs(v - ev) > 1e-9 * Math.max(1, Math.abs(ev))) {
      check(false, what + ': point ' + i + ' is (' + t + ', ' + v + '), csv has (' + et + ', ' + ev + ')');
      return;
    }
  }
}

// Each series of each chart against csv: an instance's own values, or for a
// total the sum of the instances' rates at each time.
function compareWithCsv(archive, charts, rates, range = []) {
  for (const chart of charts) {
    check(chart.canvases > 0, chart.title + ': nothing drawn');
    for (const s of chart.series) {
      const what = chart.title + ' / ' + s.label;
      const csv = csvPoints(archive, s.type, s.field, rates && s.rate, range);
      if (!s.sum) { samePoints(s.points, csv.get(s.instance) || [], what); continue; }
      const sums = new Map();
      for (const points of csv.values()) for (const [t, v] of points) sums.set(t, (sums.get(t) || 0) + v);
      samePoints(s.points, [...sums.entries()].sort((a, b) => a[0] - b[0]), what);
    }
  }
}

function titles(charts, where) { return charts.filter((c) => c.where === where).map((c) => c.title); }

const TYPES = [
  ['Solaris_x86_System', 64, 'PercentCpuUser PercentCpuSystem PercentCpuWaiting PercentCpuIdle LoadAverage1 PhysicalMemory FreeMemory'],
  ['HardDisk', 256, 'ReadKBytes WriteKBytes'],
  ['Envoy', 8, 'PageReads PageWrites PercentCpuUsed'],
];
function header() {
  let text = 'TALLY "3"\nPlatform = "x86-64 (Solaris i386)"\nQuillonVersion = "3.2.8.1"\n' +
    'Machine = "vm x86_64 (Linux 6.1.0)"\nTime = "12/05/26 17:50:00 UTC"\nStatTypes = [\n';
  text += TYPES.map(([name, id, fields]) =>
    name + '  ( StatTypeNum Time ProcessName ProcessId SessionId ' + fields + ' \n  ) ' + id).join(' ,\n');
  return text + '\n]\n%%%%Generated by the statistics monitor\nENDHEADER\n\n';
}
// Samples every second from T0: CPU shares, a load average written as the
// bits of a float, two disks and three envoys with running totals.
const T0 = 1796000000;
function archiveText(samples, spikeAt) {
  let text = header();
  const load = new Float32Array(1), bits = new Uint32Array(load.buffer);
  for (let i = 0; i < samples; i++) {
    const t = T0 + i;
    load[0] = 0.25 + (i % 7) / 8;
    const user = i === spikeAt ? 97 : 10 + (i % 5);
    text += `64 ${t} host 0 0 ${user} ${3 + (i % 3)} 1 ${86 - (i % 5) - (i % 3)} ${bits[0]} 4096 ${2000 + (i % 11)}\n`;
    text += `256 ${t} sda 0 0 ${1000 + i * 40 + (i % 3) * 5} ${500 + i * i}\n`;
    text += `256 ${t} sdb 0 0 ${7 * i} ${3 * i}\n`;
    for (let e = 1; e <= 3; e++)
      if (!(e === 3 && i < 2)) text += `8 ${t} envoy${e} ${100 + e} ${e} ${i * e * 10 + (i % 4)} ${i * e} ${e + (i % 2)}\n`;
  }
  return text;
}

async function main() {
  rmSync(workdir, { recursive: true, force: true });
  mkdirSync(workdir, { recursive: true });
  const browser = await driver.chromium.launch({ executablePath: chromium, args: ['--no-sandbox'] });
  try {
    if (rest[0] === '--screenshot') {
      const html = path.join(workdir, 'dashboard.html');
      run(['chart', rest[2], '-o', html]);
      const page = await open(browser, html);
      await page.screenshot({ path: rest[1], fullPage: false });
      console.log('screenshot of the dashboard: ' + rest[1]);
      process.exit(0);
    }
    if (rest[0] === '--open') {
      const page = await open(browser, path.resolve(rest[1]));
      console.log('open_ms=' + page.openMs + ' charts=' + (await chartsOf(page)).length +
        (failures ? ' errors' : ''));
      process.exit(failures ? 1 : 0);
    }
    const archive = path.join(workdir, 'a.out');
    writeFileSync(archive, archiveText(12, -1));

    // The dashboard: the panels the archive has, each as csv gives it.
    const dashboard = path.join(workdir, 'dashboard.html');
    run(['chart', archive, '-o', dashboard]);
    let page = await open(browser, dashboard);
    let charts = await chartsOf(page);
    check(JSON.stringify(titles(charts, 'panels')) === JSON.stringify(
      ['Host CPU', 'Memory', 'Load averages', 'Disk throughput', 'Top processes by CPU', 'Envoys: all together']),
      'dashboard panels: ' + titles(charts, 'panels'));
    const cpu = charts.find((c) => c.title === 'Host CPU');
    check(cpu && cpu.series.map((s) => s.field).join() === 'PercentCpuUser,PercentCpuSystem,PercentCpuWaiting,PercentCpuIdle',
      'Host CPU series');
    const top = charts.find((c) => c.title === 'Top processes by CPU');
    check(top && top.series.map((s) => s.label).join() === 'envoy3,envoy2,envoy1', 'top processes: ' + (top && top.series.map((s) => s.label)));
    compareWithCsv(archive, charts, true);

    // Raw values: the running totals as written.
    await page.uncheck('#rates');
    charts = await chartsOf(page);
    compareWithCsv(archive, charts.filter((c) => !c.series.some((s) => s.sum)), false);
    await page.check('#rates');

    // Another type and field chosen: the chosen chart is drawn again.
    await page.selectOption('#pick-type', 'HardDisk');
    await page.selectOption('#pick-fields', ['WriteKBytes']);
    await page.selectOption('#pick-instances', ['sda', 'sdb']);
    charts = await chartsOf(page);
    check(JSON.stringify(titles(charts, 'chosen')) === '["HardDisk WriteKBytes"]', 'chosen: ' + titles(charts, 'chosen'));
    const chosen = charts.filter((c) => c.where === 'chosen');
    check(chosen.length === 1 && chosen[0].series.map((s) => s.label).join() === 'sda,sdb', 'chosen instances');
    compareWithCsv(archive, chosen, true);
    await page.close();

    // A selection: one chart per type and field, the instances overlaid; the
    // first rate in the time range has the interval from the record before.
    const selection = path.join(workdir, 'selection.html');
    const range = ['--from', String(T0 + 3), '--to', String(T0 + 9)];
    run(['chart', archive, '--type', 'Envoy', '--instance', 'envoy[23]', '--fields', 'PageReads,PercentCpuUsed',
      ...range, '-o', selection]);
    page = await open(browser, selection);
    charts = await chartsOf(page);
    check(JSON.stringify(titles(charts, 'panels')) === '["Envoy PageReads","Envoy PercentCpuUsed"]', 'selection: ' + titles(charts, 'panels'));
    check(charts[0].series.map((s) => s.label).join() === 'envoy2,envoy3', 'selection instances');
    check(charts[0].series[0].points.length === 7, 'points in the range: ' + charts[0].series[0].points.length);
    compareWithCsv(archive, charts, true, range);
    await page.close();

    // A long series is reduced to about one point per column, its spike kept.
    const long = path.join(workdir, 'long.out');
    writeFileSync(long, archiveText(5000, 3333));
    const longPage = path.join(workdir, 'long.html');
    run(['chart', long, '--type', 'Solaris_x86_System', '--fields', 'PercentCpuUser', '-o', longPage]);
    page = await open(browser, longPage);
    charts = await chartsOf(page);
    const points = charts[0].series[0].points;
    check(points.length >= 500 && points.length <= 2000, 'reduced to ' + points.length + ' points');
    check(points.some(([t, v]) => t === T0 + 3333 && v === 97), 'the spike at ' + (T0 + 3333) + ' is kept');
    check(Math.max(...points.map((p) => p[1])) === 97 && Math.min(...points.map((p) => p[1])) === 10, 'minimum and maximum kept');
    await page.close();

    // Reduced instances that began at other times do not share their times:
    // the page puts them on one grid of columns, minimum and maximum kept.
    const many = path.join(workdir, 'many.html');
    run(['chart', long, '--type', 'Envoy', '--fields', 'PercentCpuUsed', '-o', many]);
    page = await open(browser, many);
    charts = await chartsOf(page);
    const columns = await page.evaluate(() => window.tallyPage.charts[0].plot.data[0].length);
    check(columns === 2000, 'a grid of 1,000 columns: ' + columns + ' times');
    charts[0].series.forEach((s, e) => {
      const values = s.points.map((p) => p[1]);
      check(Math.min(...values) === e + 1 && Math.max(...values) === e + 2, s.label + ' keeps its minimum and maximum');
    });
    await page.close();
  } finally {
    await browser.close();
  }
}

main().then(() => {
  if (failures) { console.log(failures + ' check(s) failed'); process.exit(1); }
  console.log('chart pages: all checks passed (' + seriesCompared + ' series, ' + pointsCompared +
    ' points compared with tallyread csv)');
  rmSync(workdir, { recursive: true, force: true });
}, (e) => { console.log('FAIL: ' + (e.stack || e)); process.exit(1); });
