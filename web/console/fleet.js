// The fleet: every RTU of the live table with its state, sortable and filterable.
'use strict';

(async () => {
  const { el, text } = TV;
  await TV.loadTexts();
  TV.navigation('fleet');
  const main = document.getElementById('main');
  const columns = [
    { key: 'uid', caption: (TV.state.texts.columns || [])[0] || 'Unit ID' },
    { key: 'model', caption: (TV.state.texts.columns || [])[7] || 'Model', number: true },
    { key: 'registration', caption: 'Registration' },
    { key: 'state', caption: 'State' },
    { key: 'last_report', caption: 'Last report' },
    { key: 'peer', caption: 'Peer' },
    { key: 'frames', caption: 'Frames', number: true },
    { key: 'unknown_frames', caption: 'Unknown frames', number: true },
  ];
  const summary = el('p', 'muted', '');
  summary.id = 'summary';
  const filter = el('input');
  filter.id = 'filter';
  filter.type = 'search';
  filter.placeholder = 'Filter';
  const head = el('tr');
  const rows = el('tbody');
  rows.id = 'rows';
  const table = el('table', '', null, [el('thead', '', null, [head]), rows]);
  table.id = 'fleet';
  main.append(el('h1', '', text('list', 'PageTitle', 'RTUs')), summary, el('div', 'toolbar', null, [filter]), table);

  let rtus = [];
  let sort = { key: 'uid', up: true };
  for (const column of columns) {
    const th = el('th', '', column.caption);
    th.dataset.key = column.key;
    th.addEventListener('click', () => {
      sort = { key: column.key, up: sort.key === column.key ? !sort.up : true };
      render();
    });
    head.append(th);
  }
  filter.addEventListener('input', () => render());

  const compare = (a, b) => {
    const x = a[sort.key] === null ? '' : a[sort.key];
    const y = b[sort.key] === null ? '' : b[sort.key];
    const order = typeof x === 'number' && typeof y === 'number' ? x - y
      : String(x).localeCompare(String(y), undefined, { numeric: true });
    return sort.up ? order : -order;
  };

  function cell(rtu, column) {
    const td = el('td', column.number ? 'number' : '');
    td.dataset.label = column.caption;
    const value = rtu[column.key];
    if (column.key === 'uid' && rtu.state === 'unregistered') {
      td.textContent = value;  // no page of its own until it is registered
    } else if (column.key === 'uid') {
      const link = el('a', '', value);
      link.href = '/rtu/' + encodeURIComponent(value);
      td.append(link);
    } else if (column.key === 'state') {
      td.className = 'state state-' + value;
      td.textContent = value;
      td.title = TV.silence(rtu);
    } else if (column.key === 'last_report') {
      td.className = 'age';
      td.dataset.time = value || '';
      td.title = TV.localTime(value);
      td.textContent = value ? TV.age(value) + ' ago' : '';
    } else {
      if (column.key === 'registration') td.className = 'text';
      td.textContent = value === null || value === undefined ? '' : String(value);
    }
    return td;
  }

  function render() {
    const counts = { connected: 0, silent: 0, disconnected: 0, never: 0, unregistered: 0 };
    for (const rtu of rtus) counts[rtu.state] = (counts[rtu.state] || 0) + 1;
    summary.textContent = (rtus.length - counts.unregistered) + ' RTUs: ' + counts.connected + ' connected, ' + counts.silent + ' silent, ' +
      counts.disconnected + ' disconnected, ' + counts.never + ' never seen' +
      (counts.unregistered ? ', ' + counts.unregistered + ' reporting unregistered' : '');
    for (const th of head.children) {
      th.className = th.dataset.key === sort.key ? (sort.up ? 'sorted-up' : 'sorted-down') : '';
    }
    const wanted = filter.value.trim().toLowerCase();
    const shown = rtus.filter((rtu) => !wanted || ['uid', 'model', 'registration', 'state', 'peer']
      .some((key) => String(rtu[key] === null ? '' : rtu[key]).toLowerCase().includes(wanted)));
    shown.sort(compare);
    const fragment = document.createDocumentFragment();
    for (const rtu of shown) {
      const tr = el('tr', '', null, columns.map((column) => cell(rtu, column)));
      tr.dataset.uid = rtu.uid;
      fragment.append(tr);
    }
    rows.replaceChildren(fragment);
    if (!document.body.dataset.rendered) performance.mark('fleet-rendered');  // for tools/bench/console
    document.body.dataset.rendered = String(rtus.length);
  }

  setInterval(() => {
    for (const td of rows.querySelectorAll('td.age')) {
      if (td.dataset.time) td.textContent = TV.age(td.dataset.time) + ' ago';
    }
  }, 1000);

  TV.follow('fleet', (data) => {
    rtus = data.rtus;
    render();
  });
})();
