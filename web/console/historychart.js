// The history chart: values over their arrival times (LTIME) on a time axis of the server's clock,
// the line broken where nothing was reported, and a drag across it to ask for that span alone.
// Chart.js has no time axis without a date library, so the axis is linear over "wall-clock
// milliseconds": each LTIME text read as if it were UTC, which shows it back exactly as stored.
'use strict';

const TVChart = (() => {
  const kSecond = 1000, kMinute = 60 * kSecond, kHour = 60 * kMinute, kDay = 24 * kHour;
  // Tick steps from a second to a year, each a round number of its unit.
  const kSteps = [1, 2, 5, 10, 15, 30].map((n) => n * kSecond)
    .concat([1, 2, 5, 10, 15, 30].map((n) => n * kMinute), [1, 2, 3, 6, 12].map((n) => n * kHour),
      [1, 2, 7, 14, 28, 91, 182, 364].map((n) => n * kDay));
  // Room a label needs on the axis, in pixels.
  const kLabelWidth = 90;
  // A drag shorter than this is a click.
  const kLeastDrag = 4;

  // "2026-12-07 12:00:01" as wall-clock milliseconds; NaN for any other text.
  function wallClock(text) {
    return /^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/.test(text) ? Date.parse(text.replace(' ', 'T') + 'Z') : NaN;
  }

  function clockText(ms) {
    return new Date(ms).toISOString().slice(0, 19).replace('T', ' ');
  }

  function ticks(min, max, width) {
    const most = Math.max(2, Math.floor(width / kLabelWidth));
    const step = kSteps.find((candidate) => (max - min) / candidate <= most) || kSteps[kSteps.length - 1];
    const values = [];
    for (let value = Math.ceil(min / step) * step; value <= max; value += step) values.push({ value });
    return { step, values };
  }

  function label(ms, step) {
    const textValue = clockText(ms);
    if (step >= kDay) return textValue.slice(0, 10);
    return [textValue.slice(11, step >= kMinute ? 16 : 19), textValue.slice(0, 10)];
  }

  // The API's points ([row, LTIME, value], null between two rows far apart) as chart data: a point
  // with no value breaks the line.
  function data(points) {
    const shown = [];
    let broken = false;
    for (const point of points) {
      if (point === null) {
        broken = true;
        continue;
      }
      const x = wallClock(point[1]);
      if (Number.isNaN(x)) continue;
      if (broken && shown.length) shown.push({ x: (shown[shown.length - 1].x + x) / 2, y: null });
      broken = false;
      shown.push({ x, y: point[2], row: point[0] });
    }
    return shown.sort((a, b) => a.x - b.x);
  }

  function colour(name) {
    return getComputedStyle(document.body).getPropertyValue(name).trim();
  }

  // A drag across the canvas marks a span with a box and hands its two times to onZoom.
  function followDrags(canvas, box, chartOf, onZoom) {
    let start = null;
    const x = (event) => event.clientX - canvas.getBoundingClientRect().left;
    canvas.addEventListener('pointerdown', (event) => {
      const chart = chartOf();
      if (!chart || event.button !== 0) return;
      start = Math.min(Math.max(x(event), chart.chartArea.left), chart.chartArea.right);
      canvas.setPointerCapture(event.pointerId);
    });
    canvas.addEventListener('pointermove', (event) => {
      if (start === null) return;
      const chart = chartOf();
      const end = Math.min(Math.max(x(event), chart.chartArea.left), chart.chartArea.right);
      Object.assign(box.style, { display: 'block', left: Math.min(start, end) + 'px', width: Math.abs(end - start) + 'px',
        top: chart.chartArea.top + 'px', height: (chart.chartArea.bottom - chart.chartArea.top) + 'px' });
    });
    canvas.addEventListener('pointerup', (event) => {
      if (start === null) return;
      const chart = chartOf();
      const end = Math.min(Math.max(x(event), chart.chartArea.left), chart.chartArea.right);
      box.style.display = 'none';
      const [left, right] = [Math.min(start, end), Math.max(start, end)];
      start = null;
      if (right - left < kLeastDrag) return;
      const scale = chart.scales.x;
      onZoom(clockText(Math.floor(scale.getValueForPixel(left) / kSecond) * kSecond),
        clockText(Math.ceil(scale.getValueForPixel(right) / kSecond) * kSecond));
    });
  }

  // The chart of one answer; span ([from, to] as LTIME texts) fixes the axis to a zoom's times,
  // otherwise it runs from the first row's time to the last's.
  function draw(canvas, titleLine, points, span) {
    const shown = data(points);
    const times = shown.map((point) => point.x);
    let [min, max] = span ? span.map(wallClock) : [Math.min(...times), Math.max(...times)];
    if (!Number.isFinite(min) || !Number.isFinite(max)) [min, max] = [Date.now() - kHour, Date.now()];
    if (min === max) [min, max] = [min - kMinute, max + kMinute];
    let step = kSecond;
    const ink = colour('--ink'), line = colour('--line');
    return new Chart(canvas, {
      type: 'line',
      data: { datasets: [{ label: titleLine, data: shown, borderColor: colour('--chart'), backgroundColor: colour('--chart'),
        borderWidth: 1, pointRadius: shown.length > 200 ? 0 : 2, spanGaps: false }] },
      options: {
        animation: false,
        parsing: false,
        maintainAspectRatio: false,
        color: ink,
        scales: {
          x: {
            type: 'linear', min, max,
            afterBuildTicks: (axis) => {
              const built = ticks(axis.min, axis.max, axis.width || canvas.clientWidth);
              step = built.step;
              axis.ticks = built.values;
            },
            ticks: { color: ink, autoSkip: false, maxRotation: 0, callback: (value) => label(value, step) },
            grid: { color: line },
          },
          y: { ticks: { color: ink }, grid: { color: line } },
        },
        plugins: {
          legend: { display: false },
          title: { display: true, text: titleLine, color: ink },
          tooltip: { callbacks: { title: (items) => items.length ? clockText(items[0].parsed.x) : '' } },
        },
      },
    });
  }

  return { draw, followDrags, wallClock, clockText };
})();
