// The Telvorn web console: helpers every page shares. Every text that came from the network is
// put into the page as text (textContent), never as markup.
'use strict';

const TV = (() => {
  const state = { texts: null, clockOffsetMs: 0, live: false };

  // Each state of an RTU with its word and an icon of its own shape, so that no state is told by
  // colour alone. The order is the summary's; a state the server adds later is shown by its name.
  const states = [
    ['connected', 'connected', '\u25CF'],
    ['silent', 'silent', '\u25D0'],
    ['disconnected', 'disconnected', '\u2715'],
    ['unregistered', 'unregistered', '\u26A0'],
    ['never', 'never seen', '\u25CB'],
  ];

  // An element with optional class and text, and children (elements or strings, as text).
  function el(tag, className, text, children) {
    const node = document.createElement(tag);
    if (className) node.className = className;
    if (text !== undefined && text !== null) node.textContent = String(text);
    for (const child of children || []) node.append(child);
    return node;
  }

  // A caption from the INI texts, or the fallback when the site left it empty.
  function text(section, key, fallback) {
    const value = state.texts && state.texts[section] && state.texts[section][key];
    return value ? value : fallback;
  }

  // The server's clock minus the browser's, from the Date header, so ages tick right on a
  // browser whose clock is off.
  async function loadTexts() {
    const response = await fetch('/api/texts', { cache: 'no-store' });
    const date = response.headers.get('Date');
    if (date) state.clockOffsetMs = Date.parse(date) - Date.now();
    state.texts = await response.json();
    return state.texts;
  }

  function serverNow() {
    return Date.now() + state.clockOffsetMs;
  }

  // Today on the server's clock, "2026-12-07".
  function serverToday() {
    const zone = state.texts && state.texts.time_zone;
    const match = /^([+-])(\d\d):(\d\d)$/.exec((zone && zone.utc_offset) || '');
    const offsetMs = match ? (match[1] === '-' ? -1 : 1) * (Number(match[2]) * 60 + Number(match[3])) * 60000 : 0;
    return new Date(serverNow() + offsetMs).toISOString().slice(0, 10);
  }

  // "42 s", "5 min", "3 h 10 min", "2 d 4 h" since an ISO time; "" for none.
  function age(iso) {
    if (!iso) return '';
    return duration(Math.max(0, Math.floor((serverNow() - Date.parse(iso)) / 1000)));
  }

  function duration(seconds) {
    seconds = Math.round(seconds);
    if (seconds < 60) return seconds + ' s';
    if (seconds < 3600) return Math.floor(seconds / 60) + ' min';
    if (seconds < 86400) return Math.floor(seconds / 3600) + ' h ' + Math.floor((seconds % 3600) / 60) + ' min';
    return Math.floor(seconds / 86400) + ' d ' + Math.floor((seconds % 86400) / 3600) + ' h';
  }

  // Which rule makes an RTU silent and when: "silent after 3 min: 3 usual intervals of 1 min".
  function silence(rtu) {
    if (rtu.silent_after_seconds === undefined) return '';
    const rule = rtu.silent_by === 'usual_interval'
      ? '3 usual intervals of ' + duration(rtu.usual_interval_seconds) + ' (60 s at least)'
      : 'STALE';
    return 'silent after ' + duration(rtu.silent_after_seconds) + ': ' + rule + (rtu.last_report_restored ? '; last report from the history' : '');
  }

  // A time of the API ("2026-12-07T12:00:00+01:00") as the server's clock showed it:
  // "2026-12-07 12:00:00". The page names the server's time zone once, in its header.
  function localTime(iso) {
    const match = /^(\d{4}-\d\d-\d\d)T(\d\d:\d\d:\d\d)/.exec(iso || '');
    return match ? match[1] + ' ' + match[2] : '';
  }

  // An RTU's own time text, "20261207120000" in its frames, in the same form; other texts unchanged.
  function rtuTime(textValue) {
    const match = /^(\d{4})(\d\d)(\d\d)(\d\d)(\d\d)(\d\d)$/.exec(textValue);
    return match ? match[1] + '-' + match[2] + '-' + match[3] + ' ' + match[4] + ':' + match[5] + ':' + match[6]
      : textValue;
  }

  // "Server time: Europe/Berlin (UTC+01:00)": every time the console shows is the server's clock.
  function zoneText() {
    const zone = state.texts && state.texts.time_zone;
    if (!zone) return '';
    return 'Server time: ' + (zone.name || zone.abbreviation) + ' (UTC' + zone.utc_offset + ')';
  }

  function navigation(current) {
    const nav = document.getElementById('nav');
    const links = [
      ['/', text('titles', 'Page0', 'RTU list'), 'fleet'],
      ['/raw', text('titles', 'Page1', 'Raw data'), 'raw'],
      ['/status', 'Server', 'status'],
    ];
    for (const [href, caption, page] of links) {
      const link = el('a', page === current ? 'current' : '', caption);
      link.href = href;
      nav.append(link);
    }
    const zone = el('span', 'zone', zoneText());
    zone.id = 'zone';
    nav.after(zone);
    document.title = text('titles', 'SYSTITLE', 'Telvorn');
  }

  // While the stream is away, values and ages on the page are greyed and ages stop ticking: the
  // page no longer knows them to be current.
  function setBadge(live) {
    state.live = live;
    const badge = document.getElementById('badge');
    badge.className = 'badge ' + (live ? 'live' : 'reconnecting');
    badge.textContent = live ? 'live' : 'reconnecting';
    document.body.classList.toggle('stale', !live);
  }

  // Follows one topic of /api/events: onData gets each event's data. The browser reconnects a
  // broken stream by itself; one it gave up (the server answered with an error while restarting)
  // is opened again here.
  function follow(topic, onData) {
    const kind = topic.split(':')[0];
    let source = null;
    const open = () => {
      source = new EventSource('/api/events?topic=' + encodeURIComponent(topic));
      source.addEventListener(kind, (event) => {
        setBadge(true);
        onData(JSON.parse(event.data));
      });
      source.onerror = () => {
        setBadge(false);
        if (source.readyState === EventSource.CLOSED) {
          source.close();
          setTimeout(open, 2000);
        }
      };
    };
    open();
  }

  // A channel's value; "—" for one the RTU has not reported since the server started (null).
  function formatNumber(value) {
    if (value === null || value === undefined) return '\u2014';
    return typeof value === 'number' ? value.toFixed(2) : String(value);
  }

  function onOff(value) {
    return value === null || value === undefined ? '\u2014' : value ? 'ON' : 'OFF';
  }

  // The state's icon and word, as one element.
  function stateBadge(name, tag) {
    const known = states.find(([key]) => key === name);
    const icon = el('span', 'state-icon', known ? known[2] : '?');
    icon.setAttribute('aria-hidden', 'true');
    return el(tag || 'span', 'state state-' + name, null, [icon, el('span', 'state-word', ' ' + (known ? known[1] : name))]);
  }

  // A JSON answer's message when a request went wrong: the API's own words where it gave some.
  async function failureText(response) {
    const body = await response.text();
    try {
      const answer = JSON.parse(body);
      const message = answer.error || answer.refused || answer.message;
      if (message) return String(message);
    } catch (notJson) {
      // the body is the message itself
    }
    return (body.trim() || response.statusText || 'The server answered ' + response.status + '.');
  }

  return {
    state, states, el, text, loadTexts, serverNow, serverToday, age, silence, localTime, rtuTime, navigation, setBadge,
    follow, formatNumber, onOff, stateBadge, failureText,
  };
})();
