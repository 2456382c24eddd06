// The chart page: draws the panels the writer chose and lets the reader pick
// a type, instances and fields. Everything it needs is in this page.
(function () {
  'use strict';
  var page = { errors: [], charts: [] };  // read by the browser test
  window.tallyPage = page;
  window.addEventListener('error', function (e) { page.errors.push(String(e.message)); });

  var data = JSON.parse(document.getElementById('tally-data').textContent);
  var PALETTE = ['#1f77b4', '#d62728', '#2ca02c', '#ff7f0e', '#9467bd', '#8c564b', '#e377c2', '#7f7f7f',
                 '#bcbd22', '#17becf'];

  // Times come as steps in ms from the one before; uPlot wants seconds.
  function decode(points) {
    if (!points) return null;
    var t = new Array(points.t.length), ms = 0;
    for (var i = 0; i < points.t.length; i++) { ms += points.t[i]; t[i] = ms / 1000; }
    return { t: t, v: points.v };
  }
  data.series.forEach(function (s) { s.raw = decode(s.raw); s.rate = decode(s.rate); });

  var showRates = true;
  function drawnAsRate(s) { return s.rate !== null && (showRates || s.raw === null); }
  function unitOf(s) { return drawnAsRate(s) ? (s.unit || 'count') + '/s' : s.unit; }
  function number(v) {
    if (v === null || v === undefined) return '-';
    return Math.abs(v) >= 1e15 ? v.toExponential(4) : String(Math.round(v * 1000) / 1000);
  }
  function shortNumber(v) {
    var a = Math.abs(v);
    if (a >= 1e12) return (v / 1e12) + 'T';
    if (a >= 1e9) return (v / 1e9) + 'G';
    if (a >= 1e6) return (v / 1e6) + 'M';
    if (a >= 1e4) return (v / 1e3) + 'k';
    return String(v);
  }
  function el(tag, attrs, text) {
    var e = document.createElement(tag);
    Object.keys(attrs || {}).forEach(function (k) { e.setAttribute(k, attrs[k]); });
    if (text !== undefined) e.textContent = text;
    return e;
  }

  // Series reduced by the writer keep each column's minimum and maximum at the
  // times they were seen, which differ between instances: overlaid, their
  // times could multiply. Past that many distinct times the chart puts every
  // series on one grid of columns, each again with its minimum and maximum
  // (the values exact, their times those of the column).
  var GRID_COLUMNS = 1000;
  function distinctTimes(tables) {
    var seen = new Set();
    tables.forEach(function (tb) { tb[0].forEach(function (t) { seen.add(t); }); });
    return seen.size;
  }
  function gridded(tables, columns) {
    var lo = Infinity, hi = -Infinity;
    tables.forEach(function (tb) {
      if (!tb[0].length) return;
      lo = Math.min(lo, tb[0][0]);
      hi = Math.max(hi, tb[0][tb[0].length - 1]);
    });
    var width = (hi - lo) / columns || 1;
    var xs = new Array(2 * columns);
    for (var c = 0; c < columns; c++) { xs[2 * c] = lo + c * width; xs[2 * c + 1] = lo + (c + 0.5) * width; }
    var out = [xs];
    tables.forEach(function (tb) {
      var ys = new Array(2 * columns).fill(null), min = [], max = [];
      for (var i = 0; i < tb[0].length; i++) {
        var v = tb[1][i];
        if (v === null) continue;
        var col = Math.min(columns - 1, Math.floor((tb[0][i] - lo) / width));
        if (!min[col] || v < min[col].v) min[col] = { t: tb[0][i], v: v };
        if (!max[col] || v > max[col].v) max[col] = { t: tb[0][i], v: v };
      }
      for (var k = 0; k < columns; k++) {
        if (!min[k]) continue;
        var minFirst = min[k].t <= max[k].t;
        ys[2 * k] = minFirst ? min[k].v : max[k].v;
        ys[2 * k + 1] = minFirst ? max[k].v : min[k].v;
      }
      out.push(ys);
    });
    return out;
  }

  // One chart: the series overlaid on the union of their times (a series
  // without a value at a time shows a gap there).
  function drawChart(parent, title, list) {
    var box = el('div', { 'class': 'chart' });
    parent.appendChild(box);
    var bar = el('div', { 'class': 'bar' });
    var reset = el('button', { type: 'button' }, 'Reset zoom');
    bar.appendChild(reset);
    box.appendChild(bar);
    var tables = list.map(function (s) {
      var p = drawnAsRate(s) ? s.rate : s.raw;
      return [p.t, p.v];
    });
    var aligned = distinctTimes(tables) > 2 * GRID_COLUMNS + 200 ? gridded(tables, GRID_COLUMNS) : uPlot.join(tables);
    var units = [];
    list.forEach(function (s) { var u = unitOf(s); if (u && units.indexOf(u) < 0) units.push(u); });
    // A legend names what differs between the series.
    var severalFields = list.some(function (o) { return o.field !== list[0].field; });
    var severalInstances = list.some(function (o) { return o.label !== list[0].label; });
    var series = [{ label: 'time', value: function (u, v) { return v == null ? '-' : new Date(v * 1000).toLocaleString(); } }];
    list.forEach(function (s, i) {
      var unit = unitOf(s);
      series.push({
        label: severalFields ? (severalInstances ? s.label + ' ' + s.field : s.field) : s.label,
        stroke: i < PALETTE.length ? PALETTE[i] : 'hsl(' + ((i * 47) % 360) + ',60%,45%)',
        width: 1.5,
        spanGaps: false,
        points: { show: aligned[0].length < 80 },
        value: function (u, v) { return v == null ? '-' : number(v) + ' ' + unit; }
      });
    });
    var opts = {
      title: title,
      // A legend of very many series is not redrawn as the cursor moves.
      legend: { live: list.length <= 50 },
      width: Math.max(400, box.clientWidth - 20),
      height: 280,
      series: series,
      scales: { x: { time: true } },
      cursor: { drag: { x: true, y: false } },
      axes: [{}, { label: units.join(', '), size: 70, values: function (u, splits) { return splits.map(shortNumber); } }]
    };
    var plot = new uPlot(opts, aligned, box);
    reset.addEventListener('click', function () {
      plot.setScale('x', { min: aligned[0][0], max: aligned[0][aligned[0].length - 1] });
    });
    page.charts.push({ title: title, where: parent.id, plot: plot, series: list, box: box });
    return plot;
  }

  function clearCharts(parent) {
    page.charts = page.charts.filter(function (c) {
      if (c.box.parentNode !== parent) return true;
      c.plot.destroy();
      parent.removeChild(c.box);
      return false;
    });
  }

  // Hundreds of lines overlaid can neither be read nor drawn quickly: a
  // panel of more series draws those with the highest mean.
  var MAX_OVERLAID = 50;
  function busiest(list, count) {
    function mean(s) {
      var p = drawnAsRate(s) ? s.rate : s.raw, sum = 0, n = 0;
      p.v.forEach(function (v) { if (v !== null) { sum += v; n++; } });
      return n ? sum / n : -Infinity;
    }
    return list.map(function (s) { return { s: s, m: mean(s) }; })
      .sort(function (a, b) { return b.m - a.m; }).slice(0, count).map(function (e) { return e.s; });
  }

  // The page: the writer's panels, then the chooser.
  document.title = data.title;
  document.body.appendChild(el('h1', {}, data.title));
  document.body.appendChild(el('div', { 'class': 'files' }, data.files.join(', ')));
  var controls = el('div', { 'class': 'controls' });
  var rateBox = el('input', { type: 'checkbox', id: 'rates', checked: '' });
  var rateLabel = el('label', { 'class': 'check' });
  rateLabel.appendChild(rateBox);
  rateLabel.appendChild(document.createTextNode('running totals as rates per second'));
  controls.appendChild(rateLabel);
  document.body.appendChild(controls);

  var panelsBox = el('div', { id: 'panels' });
  document.body.appendChild(panelsBox);
  function drawPanels() {
    clearCharts(panelsBox);
    data.panels.forEach(function (p) {
      var list = p.series.map(function (i) { return data.series[i]; });
      var title = p.title;
      if (list.length > MAX_OVERLAID) {
        list = busiest(list, MAX_OVERLAID);
        title += ' (the ' + MAX_OVERLAID + ' of ' + p.series.length + ' highest on average; choose others below)';
      }
      drawChart(panelsBox, title, list);
    });
  }

  document.body.appendChild(el('h2', {}, 'Choose'));
  var chooser = el('div', { 'class': 'controls' });
  function picker(name, id, multiple) {
    var label = el('label', {}, name);
    var select = el('select', multiple ? { id: id, multiple: '', size: '8' } : { id: id });
    label.appendChild(select);
    chooser.appendChild(label);
    return select;
  }
  var typePick = picker('Type', 'pick-type', false);
  var instancePick = picker('Instances', 'pick-instances', true);
  var fieldPick = picker('Fields', 'pick-fields', true);
  document.body.appendChild(chooser);
  var chosenBox = el('div', { id: 'chosen' });
  document.body.appendChild(chosenBox);

  function distinct(values) {
    return values.filter(function (v, i) { return values.indexOf(v) === i; });
  }
  function fill(select, values, chosen) {
    select.textContent = '';
    values.forEach(function (v) {
      var o = el('option', { value: v }, v);
      o.selected = chosen.indexOf(v) >= 0;
      select.appendChild(o);
    });
  }
  function selected(select) {
    return Array.prototype.filter.call(select.options, function (o) { return o.selected; })
      .map(function (o) { return o.value; });
  }
  var types = distinct(data.series.map(function (s) { return s.type; }));
  fill(typePick, types, types.slice(0, 1));
  function fillForType() {
    var ofType = data.series.filter(function (s) { return s.type === typePick.value; });
    var labels = distinct(ofType.map(function (s) { return s.label; }));
    var fields = distinct(ofType.map(function (s) { return s.field; }));
    fill(instancePick, labels, labels.slice(0, 5));
    fill(fieldPick, fields, fields.slice(0, 1));
  }
  // One chart per field chosen, the instances chosen overlaid.
  function drawChosen() {
    clearCharts(chosenBox);
    chosenBox.textContent = '';
    var labels = selected(instancePick);
    selected(fieldPick).forEach(function (field) {
      var list = data.series.filter(function (s) {
        return s.type === typePick.value && s.field === field && labels.indexOf(s.label) >= 0;
      });
      if (list.length) drawChart(chosenBox, typePick.value + ' ' + field, list);
    });
    if (!chosenBox.children.length) chosenBox.appendChild(el('p', { 'class': 'empty' }, 'Nothing chosen.'));
  }
  typePick.addEventListener('change', function () { fillForType(); drawChosen(); });
  instancePick.addEventListener('change', drawChosen);
  fieldPick.addEventListener('change', drawChosen);
  rateBox.addEventListener('change', function () { showRates = rateBox.checked; drawPanels(); drawChosen(); });

  if (!data.series.length) panelsBox.appendChild(el('p', { 'class': 'empty' }, 'No values to draw.'));
  drawPanels();
  if (types.length) { fillForType(); drawChosen(); }
  page.ready = true;
})();
