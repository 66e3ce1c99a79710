// The history of one channel: the RTU state page's filter (dates, value with its selector), a
// chart of at most 2,000 points and the CSV export. Nothing is ever deleted from here.
'use strict';

(async () => {
  const { el, text } = TV;
  await TV.loadTexts();
  TV.navigation('history');
  const uid = decodeURIComponent(location.pathname.split('/')[2] || '');
  const params = new URLSearchParams(location.search);
  const channel = params.get('channel') || '';
  const main = document.getElementById('main');

  const back = el('a', '', text('state', 'Title', 'Back'));
  back.href = '/rtu/' + encodeURIComponent(uid);
  const title = el('h1', '', '');
  title.id = 'title';
  const input = (type, id, value) => {
    const node = el('input');
    node.type = type;
    node.id = id;
    if (value) node.value = value;
    return node;
  };
  const today = new Date(TV.serverNow() - new Date().getTimezoneOffset() * 60000).toISOString().slice(0, 10);
  const range = input('checkbox', 'range');
  range.checked = params.get('range') === '1';
  const from = input('date', 'from', params.get('from') || today);
  const to = input('date', 'to', params.get('to') || today);
  const compare = el('select');
  compare.id = 'cmp';
  for (const [value, caption] of [['', ''], ['0', '>'], ['1', '='], ['2', '<']]) {
    const option = el('option', '', caption);
    option.value = value;
    compare.append(option);
  }
  compare.value = params.get('cmp') || '';
  const value = input('text', 'value', params.get('value'));
  value.size = 8;
  const query = el('button', '', 'Query');
  query.type = 'submit';
  query.id = 'query';
  const csv = el('a', '', text('state', 'EXPORT', 'Export') + ' (CSV)');
  csv.id = 'csv';
  const form = el('form', 'toolbar', null, [
    el('label', '', null, [range, ' ', from]), '–', to,
    el('label', '', text('state', 'DATALISTC1', 'Value') + ' ', [compare, ' ', value]), query, csv,
  ]);
  const message = el('p', 'message');
  message.id = 'message';
  const canvas = el('canvas');
  canvas.id = 'chart';
  const list = el('tbody');
  list.id = 'rows';
  const listHead = el('tr', '', null, [0, 1, 2, 3].map((k) =>
    el('th', '', text('state', 'DATALISTC' + k, ['Record', 'Value', 'RTU time', 'Server time'][k]))));
  const listBox = el('section', '', null, [el('h2', '', 'Newest rows'), el('table', '', null, [el('thead', '', null, [listHead]), list])]);
  main.append(el('p', '', null, [back]), title, form, message, el('div', 'chart-box', null, [canvas]), listBox);

  let chart = null;
  function draw(titleLine, points, rows) {
    const data = points.map(([x, y]) => ({ x, y }));
    if (chart) chart.destroy();
    chart = new Chart(canvas, {
      type: 'line',
      data: { datasets: [{ label: titleLine, data, borderColor: '#1f5f99', borderWidth: 1, pointRadius: data.length > 200 ? 0 : 2 }] },
      options: {
        animation: false,
        parsing: false,
        normalized: true,
        maintainAspectRatio: false,
        scales: { x: { type: 'linear', min: 0, max: Math.max(rows - 1, 1), title: { display: true, text: text('state', 'DATALISTC0', 'Record') } } },
        plugins: { legend: { display: false }, title: { display: true, text: titleLine } },
      },
    });
  }

  async function run() {
    const wanted = new URLSearchParams({ uid, channel });
    if (range.checked) {
      wanted.set('range', '1');
      wanted.set('from', from.value);
      wanted.set('to', to.value);
    }
    if (compare.value !== '') wanted.set('cmp', compare.value);
    if (value.value !== '') wanted.set('value', value.value);
    history.replaceState(null, '', location.pathname + '?' + new URLSearchParams([...wanted].filter(([key]) => key !== 'uid')));
    const started = performance.now();
    message.textContent = '';
    document.body.dataset.state = 'loading';
    const response = await fetch('/api/history?' + wanted, { cache: 'no-store' });
    const answer = await response.json();
    if (answer.error || answer.refused) {
      message.textContent = answer.error || answer.refused;
      csv.removeAttribute('href');
      if (chart) chart.destroy();
      chart = null;
      list.replaceChildren();
      document.body.dataset.state = 'refused';
      return;
    }
    title.textContent = answer.title;
    list.replaceChildren(...answer.newest.slice().reverse().map((row) => el('tr', '', null, row.map((field) => el('td', 'text', field)))));
    csv.href = '/api/history.csv?' + wanted;
    draw(answer.title, answer.points, answer.rows);
    requestAnimationFrame(() => {
      document.body.dataset.drawnMs = String(Math.round(performance.now() - started));
      document.body.dataset.state = 'drawn';
    });
  }

  form.addEventListener('submit', (event) => {
    event.preventDefault();
    run();
  });
  TV.setBadge(true);
  run();
})();
