// One RTU: every channel's value with its name, as on the RTU state page, updated live. Each value
// links to the history of its channel.
'use strict';

(async () => {
  const { el, text } = TV;
  await TV.loadTexts();
  TV.navigation('rtu');
  const uid = decodeURIComponent(location.pathname.split('/')[2] || '');
  const main = document.getElementById('main');
  const back = el('a', '', text('state', 'Title', 'Back'));
  back.href = '/';
  const title = el('h1', '', ((TV.state.texts.columns || [])[0] || 'Unit ID') + ': ' + uid);
  title.id = 'title';
  const fields = el('dl', 'fields');
  fields.id = 'fields';
  const status = el('p', 'text');
  status.id = 'registration';
  const summary = el('p', 'muted');
  summary.id = 'summary';
  const groups = el('div', 'groups');
  groups.id = 'groups';
  const registers = el('div');
  main.append(el('p', '', null, [back]), title, fields, status, summary, groups, registers);
  let counterSource = 'ECOUNTER';
  let last = null;

  const historyLink = (channel, caption, className) => {
    const link = el('a', className || '', caption);
    link.href = '/rtu/' + encodeURIComponent(uid) + '/history?channel=' + encodeURIComponent(channel);
    return link;
  };

  // The registry fields an operator filled in, captioned as the RTU list heads them; the model is
  // left to the state page's groups, as in the window's header.
  function renderFields(rtu) {
    const captions = TV.state.texts.fields || {};
    const registry = rtu.registry || {};
    const shown = Object.keys(registry).filter((name) => registry[name] && name !== 'RDATA7')
      .sort((a, b) => Number(a.slice(5)) - Number(b.slice(5)));
    fields.replaceChildren(...shown.flatMap((name) => {
      const value = el('dd', 'text', registry[name]);
      value.id = 'field-' + name;
      return [el('dt', '', captions[name] || name), value];
    }));
    const name = registry.RDATA1;
    title.textContent = ((TV.state.texts.columns || [])[0] || 'Unit ID') + ': ' + uid + (name ? ' \u2014 ' + name : '');
  }

  const group = (caption, body) => el('section', 'group', null, [el('h2', '', caption), body]);

  function lamps(channels) {
    const box = el('div', 'lamps');
    for (const channel of channels) {
      const unknown = channel.value === null;
      const lamp = historyLink(channel.channel, channel.channel.replace(/^\D+/, ''),
        'lamp value' + (channel.value ? ' on' : '') + (unknown ? ' unknown' : ''));
      lamp.id = 'value-' + channel.channel;
      lamp.title = unknown ? '\u2014 not reported since the server started' : TV.onOff(channel.value);
      box.append(lamp);
    }
    return box;
  }

  function values(channels, linkOf) {
    const list = el('dl');
    for (const channel of channels) {
      const value = historyLink(linkOf ? linkOf(channel) : channel.channel,
        TV.formatNumber(channel.value) + (channel.unit && channel.value !== null ? ' ' + channel.unit : ''), 'value');
      value.id = 'value-' + channel.channel;
      list.append(el('dt', '', channel.name), el('dd', '', null, [value]));
    }
    return list;
  }

  function counters(channels) {
    const select = el('select');
    for (const [value, key, fallback] of [['ECOUNTER', 'DATA_REAL', 'Live counters'], ['ECOUNTER_REPORT', 'DATA_REPT', 'Daily reports']]) {
      const option = el('option', '', text('state', key, fallback));
      option.value = value;
      select.append(option);
    }
    select.value = counterSource;
    select.addEventListener('change', () => {
      counterSource = select.value;
      render();
    });
    const box = el('div');
    box.append(values(channels, (channel) => counterSource + channel.channel.replace(/^\D+/, '')), select);
    return box;
  }

  function info(rtu, byName) {
    const list = el('dl');
    for (const key of ['ITEMP', 'SIGNAL', 'BATT']) {
      const channel = byName[key];
      if (!channel) continue;
      const shown = key === 'BATT' ? TV.onOff(channel.value)
        : key === 'SIGNAL' && channel.value !== null ? String(channel.value) : TV.formatNumber(channel.value);
      const value = historyLink(key, shown, 'value');
      value.id = 'value-' + key;
      list.append(el('dt', '', text('names', key, key)), el('dd', '', null, [value]));
    }
    const gps = el('dd', 'text value', rtu.gps || '\u2014');
    gps.id = 'gps';
    list.append(el('dt', '', 'GPS'), gps);
    return list;
  }

  function registerTable(channels) {
    const head = el('tr', '', null, [0, 1, 2].map((k) => el('th', '', text('modbus', 'List' + k, ['Register', 'Value', 'Kind'][k]))));
    const body = el('tbody');
    for (const channel of channels) {
      const k = Number(channel.channel.replace(/^\D+/, ''));
      const name = k < 32 ? text('names', 'MBUSREG' + k, 'R' + String(k).padStart(2, '0')) : 'R' + String(k).padStart(2, '0');
      const value = channel.kind === 'Coil' ? TV.onOff(channel.value) : TV.formatNumber(channel.value);
      const link = k < 32 ? historyLink(channel.channel, value, 'value') : el('span', 'value', value);
      link.id = 'value-' + channel.channel;
      body.append(el('tr', '', null, [el('td', '', name), el('td', '', null, [link]), el('td', '', channel.kind)]));
    }
    return el('section', '', null, [el('h2', '', text('titles', 'Page3', 'Modbus registers')), el('table', '', null, [el('thead', '', null, [head]), body])]);
  }

  function render() {
    const rtu = last;
    if (!rtu) return;
    status.textContent = rtu.registration;
    renderFields(rtu);
    const lastReport = rtu.last_report
      ? [' · last report ', el('span', 'age', TV.age(rtu.last_report) + ' ago'), ' (' + TV.localTime(rtu.last_report) + ')']
      : [' · no report yet'];
    summary.replaceChildren(TV.stateBadge(rtu.state), ...lastReport,
      (rtu.peer ? ' · ' + rtu.peer : '') + ' · ' + rtu.frames + ' frames' + (TV.silence(rtu) ? ' · ' + TV.silence(rtu) : ''));
    const of = (prefix) => rtu.channels.filter((channel) => channel.channel.replace(/\d+$/, '') === prefix);
    const byName = Object.fromEntries(rtu.channels.map((channel) => [channel.channel, channel]));
    const parts = [];
    if (of('DIN').length) parts.push(group(text('state', 'DIN', 'Digital inputs'), lamps(of('DIN'))));
    if (of('DOUT').length) parts.push(group(text('state', 'DOUT', 'Digital outputs'), lamps(of('DOUT'))));
    if (of('AIN').length) parts.push(group(text('state', 'AIN', 'Analogue inputs'), values(of('AIN'))));
    if (of('ECOUNTER').length) parts.push(group(text('state', 'COUNTER', 'Counters'), counters(of('ECOUNTER'))));
    if (of('ETEMP').length) parts.push(group(text('state', 'ExTempTitle', 'External temperatures'), values(of('ETEMP'))));
    if (of('GRYCODE').length) parts.push(group(text('state', 'GRAY', 'Gray code'), values(of('GRYCODE'))));
    parts.push(group(text('state', 'RTUINFO', 'RTU information'), info(rtu, byName)));
    groups.replaceChildren(...parts);
    registers.replaceChildren(...(of('MBUSREG').length ? [registerTable(of('MBUSREG'))] : []));
    document.body.dataset.rendered = String(Date.now());
  }

  const known = await fetch('/api/rtus/' + encodeURIComponent(uid), { cache: 'no-store' });
  if (known.status === 404) {
    status.className = 'message';
    status.textContent = 'No RTU with this unit id in the live table.';
    TV.setBadge(true);
    return;
  }
  setInterval(() => {  // the age of the last report ticks while the page is live
    if (TV.state.live) render();
  }, 1000);
  TV.follow('rtu:' + uid, (data) => {
    last = data;
    render();
  });
})();
