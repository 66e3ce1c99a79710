// The raw data page: the live raw-data lines, newest last; the browser keeps the last kMaxLines.
'use strict';

(async () => {
  const { el } = TV;
  const kMaxLines = 1000;
  await TV.loadTexts();
  TV.navigation('raw');
  const main = document.getElementById('main');
  const lines = el('ol');
  lines.id = 'lines';
  const follow = el('input');
  follow.type = 'checkbox';
  follow.checked = true;
  const reset = el('button', '', 'Reset');
  reset.addEventListener('click', () => lines.replaceChildren());
  main.append(el('h1', '', TV.text('titles', 'Page1', 'Raw data')),
    el('div', 'toolbar', null, [reset, el('label', '', null, [follow, ' follow the newest'])]), lines);

  TV.follow('raw', (data) => {
    if (data.reset) lines.replaceChildren();
    const fragment = document.createDocumentFragment();
    for (const line of data.lines) fragment.append(el('li', '', line));
    lines.append(fragment);
    while (lines.childElementCount > kMaxLines) lines.firstElementChild.remove();
    if (follow.checked) window.scrollTo(0, document.body.scrollHeight);
  });
})();
