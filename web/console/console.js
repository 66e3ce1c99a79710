// The Telvorn web console: helpers every page shares. Every text that came from the network is
// put into the page as text (textContent), never as markup.
'use strict';

const TV = (() => {
  const state = { texts: null, clockOffsetMs: 0 };

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

  function localTime(iso) {
    return iso ? new Date(Date.parse(iso)).toLocaleString() : '';
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
    const title = text('titles', 'SYSTITLE', 'Telvorn');
    document.title = title;
  }

  function setBadge(live) {
    const badge = document.getElementById('badge');
    badge.className = 'badge ' + (live ? 'live' : 'reconnecting');
    badge.textContent = live ? 'live' : 'reconnecting';
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
      source.onopen = () => setBadge(true);
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

  function formatNumber(value) {
    return typeof value === 'number' ? value.toFixed(2) : String(value);
  }

  return { state, el, text, loadTexts, serverNow, age, silence, localTime, navigation, setBadge, follow, formatNumber };
})();
