// The history of one channel: the RTU state page's filter (dates, value with its selector), a
// chart of at most 2,000 points over the readings' arrival times, zoomed by a drag and back by a
// button, and the CSV export. Nothing is ever deleted from here.
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
  // Until the first answer the title names the RTU and the channel as the address gives them.
  const title = el('h1', '', ((TV.state.texts.columns || [])[0] || 'Unit ID') + ':' + uid + ' ' + channel);
  title.id = 'title';
  const input = (type, id, value) => {
    const node = el('input');
    node.type = type;
    node.id = id;
    if (value) node.value = value;
    return node;
  };
  const today = TV.serverToday();
  const range = input('checkbox', 'range');
  range.checked = params.get('range') === '1';
  range.setAttribute('aria-label', 'Whole days from, to');
  // Text, not the browser's date picker, which would show the day in the browser's own format.
  const day = (id) => {
    const node = input('text', id, params.get(id) || today);
    Object.assign(node, { size: 10, placeholder: 'YYYY-MM-DD', inputMode: 'numeric' });
    node.setAttribute('aria-label', id === 'from' ? 'First day' : 'Last day');
    return node;
  };
  const from = day('from');
  const to = day('to');
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
  const zoomOut = el('button', '', 'Back to the whole query');
  zoomOut.type = 'button';
  zoomOut.id = 'zoom-out';
  zoomOut.hidden = true;
  const form = el('form', 'toolbar', null, [
    el('label', '', null, [range, ' ', from]), '–', to,
    el('label', '', text('state', 'DATALISTC1', 'Value') + ' ', [compare, ' ', value]), query, csv, zoomOut,
  ]);
  const message = el('p', 'message');
  message.id = 'message';
  message.setAttribute('role', 'status');
  const canvas = el('canvas');
  canvas.id = 'chart';
  const box = el('div', 'zoom-box');
  const list = el('tbody');
  list.id = 'rows';
  const listHead = el('tr', '', null, [0, 1, 2, 3].map((k) =>
    el('th', '', text('state', 'DATALISTC' + k, ['Record', 'Value', 'RTU time', 'Server time'][k]))));
  const listBox = el('section', '', null, [el('h2', '', 'Newest rows'), el('table', '', null, [el('thead', '', null, [listHead]), list])]);
  main.append(el('p', '', null, [back]), title, form, message,
    el('p', 'muted', 'Drag across the chart to see that span of time.'), el('div', 'chart-box', null, [canvas, box]), listBox);

  let chart = null;
  // The zoom's span ([from, to] as LTIME texts) and the spans before it, for the back button.
  let span = params.get('ltime_from') && params.get('ltime_to') ? [params.get('ltime_from'), params.get('ltime_to')] : null;
  const spans = [];

  function showFailure(why) {
    message.textContent = why;
    csv.removeAttribute('href');
    if (chart) chart.destroy();
    chart = null;
    list.replaceChildren();
    document.body.dataset.state = 'refused';
  }

  function wantedQuery() {
    const wanted = new URLSearchParams({ uid, channel });
    if (range.checked) {
      wanted.set('range', '1');
      wanted.set('from', from.value);
      wanted.set('to', to.value);
    }
    if (compare.value !== '') wanted.set('cmp', compare.value);
    if (value.value !== '') wanted.set('value', value.value);
    if (span) {
      wanted.set('ltime_from', span[0]);
      wanted.set('ltime_to', span[1]);
    }
    return wanted;
  }

  // An answer that is no history (the server away, a refusal, an error) shows its message; the
  // title stays, naming the channel.
  async function fetchAnswer(wanted) {
    let response;
    try {
      response = await fetch('/api/history?' + wanted, { cache: 'no-store' });
    } catch (unreachable) {
      return { failed: 'The server does not answer; the query was not run. Try again once the badge says live.' };
    }
    if (!response.ok) return { failed: await TV.failureText(response) };
    try {
      const answer = await response.json();
      if (answer.title) title.textContent = answer.title;
      return answer.error || answer.refused ? { failed: answer.error || answer.refused } : answer;
    } catch (broken) {
      return { failed: 'The server\'s answer was cut off; the query may be run again.' };
    }
  }

  async function run() {
    const wanted = wantedQuery();
    history.replaceState(null, '', location.pathname + '?' + new URLSearchParams([...wanted].filter(([key]) => key !== 'uid')));
    zoomOut.hidden = !span;
    const started = performance.now();
    message.textContent = '';
    document.body.dataset.state = 'loading';
    const answer = await fetchAnswer(wanted);
    if (answer.failed) {
      showFailure(answer.failed);
      return;
    }
    list.replaceChildren(...answer.newest.slice().reverse().map((row) => el('tr', '', null,
      row.map((field, k) => el('td', 'text', k === 2 ? TV.rtuTime(String(field)) : field)))));
    csv.href = '/api/history.csv?' + wanted;
    if (chart) chart.destroy();
    chart = TVChart.draw(canvas, answer.title, answer.points, span);
    requestAnimationFrame(() => {
      document.body.dataset.drawnMs = String(Math.round(performance.now() - started));
      document.body.dataset.state = 'drawn';
    });
  }

  TVChart.followDrags(canvas, box, () => chart, (first, last) => {
    spans.push(span);
    span = [first, last];
    run();
  });
  zoomOut.addEventListener('click', () => {
    span = spans.length ? spans.pop() : null;
    run();
  });
  form.addEventListener('submit', (event) => {
    event.preventDefault();
    run();
  });
  TV.setBadge(true);
  run();
})();
