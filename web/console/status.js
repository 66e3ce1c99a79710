// The server: connections in use of the limit, the database, the last writes, the event log's
// last lines, uptime and version, updated live.
'use strict';

(async () => {
  const { el } = TV;
  await TV.loadTexts();
  TV.navigation('status');
  const main = document.getElementById('main');
  const facts = el('dl');
  facts.id = 'facts';
  const log = el('pre');
  log.id = 'log';
  main.append(el('h1', '', 'Server'), el('section', 'group', null, [facts]), el('h2', '', 'Log.txt'), log);
  let last = null;

  function uptime(seconds) {
    const d = Math.floor(seconds / 86400), h = Math.floor((seconds % 86400) / 3600), m = Math.floor((seconds % 3600) / 60);
    return (d ? d + ' d ' : '') + h + ' h ' + m + ' min ' + (seconds % 60) + ' s';
  }

  function spoolText(spool) {
    if (!spool) return 'none';
    if (!spool.open) return 'not open: readings the database cannot take are lost';
    let text = spool.readings + ' readings held (' + Math.ceil(spool.bytes / 1024) + ' KiB of ' +
      Math.round(spool.limit_bytes / 1048576) + ' MiB)';
    if (spool.memory_readings > 0) text += ', ' + spool.memory_readings + ' of them in memory';
    if (spool.readings > 0) text += ', oldest ' + spool.oldest_age_seconds + ' s';
    if (spool.database_away) text += spool.forwarding ? ', forwarding' : ', database away';
    text += '; ' + spool.forwarded + ' forwarded';
    if (spool.refused > 0) text += ', ' + spool.refused + ' refused (spool full)';
    if (spool.set_aside > 0) text += ', ' + spool.set_aside + ' rows set aside (' + spool.failing_tables.join(', ') + ')';
    if (spool.trouble) text += '; file: ' + spool.trouble;
    if (spool.stalled) text += '; forwarding stalled: ' + spool.stalled;
    return text;
  }

  // The event log's lines begin "07-12-2026 09:05:07:", day first; shown in the page's one form.
  function logLine(line) {
    return line.replace(/^(\d\d)-(\d\d)-(\d{4}) (\d\d:\d\d:\d\d)/, '$3-$2-$1 $4');
  }

  // The counts in the summary's order; a state the server names that the page does not know, by its name.
  function rtuCounts(counts) {
    const words = new Map(TV.states.map(([name, word]) => [name, word]));
    const names = [...TV.states.map(([name]) => name).filter((name) => name in counts),
      ...Object.keys(counts).filter((name) => !words.has(name))];
    return names.map((name) => counts[name] + ' ' + (words.get(name) || name)).join(', ');
  }

  function render() {
    const s = last;
    if (!s) return;
    const rows = [
      ['Version', s.version],
      ['Up', uptime(Math.max(0, Math.floor((TV.serverNow() - Date.parse(s.start_time)) / 1000)))],
      ['Started', TV.localTime(s.start_time)],
      ['Connections', s.connections.open + ' of ' + s.connections.limit],
      ['Database', (s.database.engine || 'unknown engine') + ', ' + (s.database.up ? 'up' : 'down')],
      ['Last write', s.database.last_write_ok ? TV.localTime(s.database.last_write_ok) : 'none yet'],
      ['Last failed write', s.database.last_write_failed ? TV.localTime(s.database.last_write_failed) : 'none'],
      ['Spool', spoolText(s.spool)],
      ['RTUs', rtuCounts(s.rtus)],
    ];
    facts.replaceChildren(...rows.flatMap(([name, value]) => [el('dt', '', name), el('dd', '', value)]));
    log.textContent = s.log.map(logLine).join('\n');
  }

  setInterval(() => {  // uptime ticks while the page is live
    if (TV.state.live) render();
  }, 1000);
  TV.follow('status', (data) => {
    last = data;
    render();
  });
})();
