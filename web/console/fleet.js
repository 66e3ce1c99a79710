// The fleet: every RTU of the live table with its state, name and registry fields, sortable and
// filterable by text and by state; the filter lives in the address (?state=silent&q=north), to share.
// On a phone the rows are cards with the state, name, unit id and last report.
'use strict';

(async () => {
  const { el, text } = TV;
  await TV.loadTexts();
  TV.navigation('fleet');
  const main = document.getElementById('main');
  const captions = TV.state.texts.columns || [];
  const fieldCaptions = TV.state.texts.fields || {};
  const params = new URLSearchParams(location.search);
  let wantedState = params.get('state') || '';
  let sort = { key: 'uid', up: true };
  let rtus = [];
  let columns = [];

  // Problems first when sorted by state.
  const stateRank = Object.fromEntries(['disconnected', 'silent', 'unregistered', 'never', 'connected']
    .map((name, rank) => [name, rank]));
  const field = (rtu, name) => (rtu.registry && rtu.registry[name]) || '';
  const valueOf = (rtu, key) => {
    if (key === 'state') return stateRank[rtu.state] ?? 9;
    if (key.startsWith('RDATA')) return field(rtu, key);
    return rtu[key] === null || rtu[key] === undefined ? '' : rtu[key];
  };

  // The registry fields any RTU has filled in, in field order; RDATA7 is the model column.
  function fieldColumns() {
    const filled = new Set();
    for (const rtu of rtus) for (const [name, value] of Object.entries(rtu.registry || {})) if (value) filled.add(name);
    const names = [];
    for (let j = 2; j <= 12; ++j) if (j !== 7 && filled.has('RDATA' + j)) names.push('RDATA' + j);
    return names.map((name) => ({ key: name, caption: fieldCaptions[name] || name, className: 'text col-field' }));
  }

  function makeColumns() {
    return [
      { key: 'state', caption: 'State', className: 'col-state' },
      { key: 'uid', caption: captions[0] || 'Unit ID', className: 'col-uid' },
      { key: 'RDATA1', caption: fieldCaptions.RDATA1 || 'Name', className: 'text col-name' },
      ...fieldColumns(),
      { key: 'model', caption: captions[7] || 'Model', className: 'number col-model' },
      { key: 'registration', caption: 'Registration', className: 'text col-registration' },
      { key: 'last_report', caption: 'Last report', className: 'col-last' },
      { key: 'peer', caption: 'Peer', className: 'col-peer' },
      { key: 'frames', caption: 'Frames', className: 'number col-frames' },
      { key: 'unknown_frames', caption: 'Unknown frames', className: 'number col-unknown' },
    ];
  }

  const summary = el('p', 'summary');
  summary.id = 'summary';
  const filter = el('input');
  filter.id = 'filter';
  filter.type = 'search';
  filter.placeholder = 'Filter';
  filter.setAttribute('aria-label', 'Filter');
  filter.value = params.get('q') || '';
  const sorter = el('select');
  sorter.id = 'sort';
  sorter.setAttribute('aria-label', 'Sort');
  const head = el('tr');
  const rows = el('tbody');
  rows.id = 'rows';
  const table = el('table', '', null, [el('thead', '', null, [head]), rows]);
  table.id = 'fleet';
  main.append(el('h1', '', text('list', 'PageTitle', 'RTUs')), summary,
    el('div', 'toolbar', null, [filter, sorter]), table);

  // The address keeps the filter, so the view can be shared or kept as a bookmark.
  function keepInAddress() {
    const wanted = new URLSearchParams();
    if (wantedState) wanted.set('state', wantedState);
    if (filter.value.trim()) wanted.set('q', filter.value.trim());
    const query = wanted.toString();
    history.replaceState(null, '', location.pathname + (query ? '?' + query : ''));
  }

  // "● 3 connected": a click shows only those RTUs, a second click all of them again.
  function stateLink(name, count) {
    const wanted = new URLSearchParams(location.search);
    if (name) wanted.set('state', name); else wanted.delete('state');
    const link = el('a', 'state-filter' + (name === wantedState ? ' current' : ''));
    link.href = '?' + wanted;
    link.dataset.state = name;
    if (name) {
      const badge = TV.stateBadge(name);
      badge.lastChild.textContent = ' ' + count + ' ' + badge.lastChild.textContent.trim();
      link.append(badge);
    } else {
      link.textContent = count + ' RTUs';
    }
    link.addEventListener('click', (event) => {
      event.preventDefault();
      wantedState = name === wantedState ? '' : name;
      keepInAddress();
      render();
    });
    return link;
  }

  function renderSummary() {
    const counts = {};
    for (const rtu of rtus) counts[rtu.state] = (counts[rtu.state] || 0) + 1;
    // A unit that reports unregistered is listed, but is no RTU of the registry.
    const links = [stateLink('', rtus.length - (counts.unregistered || 0))];
    for (const [name] of TV.states) if (counts[name] || name !== 'unregistered') links.push(stateLink(name, counts[name] || 0));
    for (const name of Object.keys(counts)) if (!TV.states.some(([key]) => key === name)) links.push(stateLink(name, counts[name]));
    summary.replaceChildren(...links);
  }

  function renderHead() {
    const shape = columns.map((column) => column.key).join();
    if (head.dataset.shape !== shape) {
      head.dataset.shape = shape;
      head.replaceChildren(...columns.map((column) => {
        const th = el('th', column.className, column.caption);
        th.dataset.key = column.key;
        th.addEventListener('click', () => {
          sort = { key: column.key, up: sort.key === column.key ? !sort.up : column.key !== 'last_report' };
          render();
        });
        return th;
      }));
      const chosen = sorter.value;
      sorter.replaceChildren(...columns.flatMap((column) => [true, false].map((up) => {
        const option = el('option', '', column.caption + (up ? ' \u2191' : ' \u2193'));
        option.value = column.key + (up ? ':up' : ':down');
        return option;
      })));
      if (chosen) sorter.value = chosen;
    }
    for (const th of head.children) {
      th.classList.toggle('sorted-up', th.dataset.key === sort.key && sort.up);
      th.classList.toggle('sorted-down', th.dataset.key === sort.key && !sort.up);
    }
    sorter.value = sort.key + (sort.up ? ':up' : ':down');
  }

  function cell(rtu, column) {
    const td = el('td', column.className);
    td.dataset.label = column.caption;
    if (column.key === 'state') {
      td.append(TV.stateBadge(rtu.state));
      td.title = TV.silence(rtu);
    } else if (column.key === 'uid' && rtu.state === 'unregistered') {
      td.textContent = rtu.uid;  // no page of its own until it is registered
    } else if (column.key === 'uid') {
      const link = el('a', '', rtu.uid);
      link.href = '/rtu/' + encodeURIComponent(rtu.uid);
      td.append(link);
    } else if (column.key === 'last_report') {
      td.classList.add('age');
      td.dataset.time = rtu.last_report || '';
      td.title = TV.localTime(rtu.last_report);
      td.textContent = rtu.last_report ? TV.age(rtu.last_report) + ' ago' : '\u2014';
    } else {
      td.textContent = valueOf(rtu, column.key);
    }
    return td;
  }

  function matches(rtu, wanted) {
    if (wantedState && rtu.state !== wantedState) return false;
    if (!wanted) return true;
    const texts = [rtu.uid, rtu.model, rtu.registration, rtu.state, rtu.peer, ...Object.values(rtu.registry || {})];
    return texts.some((value) => String(value === null || value === undefined ? '' : value).toLowerCase().includes(wanted));
  }

  function compare(a, b) {
    const x = valueOf(a, sort.key);
    const y = valueOf(b, sort.key);
    const order = typeof x === 'number' && typeof y === 'number' ? x - y
      : String(x).localeCompare(String(y), undefined, { numeric: true });
    return (sort.up ? order : -order) || String(a.uid).localeCompare(String(b.uid), undefined, { numeric: true });
  }

  function render() {
    columns = makeColumns();
    renderSummary();
    renderHead();
    const wanted = filter.value.trim().toLowerCase();
    const shown = rtus.filter((rtu) => matches(rtu, wanted)).sort(compare);
    const fragment = document.createDocumentFragment();
    for (const rtu of shown) {
      const tr = el('tr', 'row-' + rtu.state, null, columns.map((column) => cell(rtu, column)));
      tr.dataset.uid = rtu.uid;
      tr.dataset.state = rtu.state;
      fragment.append(tr);
    }
    rows.replaceChildren(fragment);
    if (!document.body.dataset.rendered) performance.mark('fleet-rendered');  // for tools/bench/console
    document.body.dataset.rendered = String(rtus.length);
  }

  filter.addEventListener('input', () => {
    keepInAddress();
    render();
  });
  sorter.addEventListener('change', () => {
    const [key, direction] = sorter.value.split(':');
    sort = { key, up: direction === 'up' };
    render();
  });

  setInterval(() => {
    if (!TV.state.live) return;
    for (const td of rows.querySelectorAll('td.age')) {
      if (td.dataset.time) td.textContent = TV.age(td.dataset.time) + ' ago';
    }
  }, 1000);

  TV.follow('fleet', (data) => {
    rtus = data.rtus;
    render();
  });
})();
