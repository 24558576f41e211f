// The bench page: draws the status the service embedded in the page at
// once, then follows the service's event stream (one status JSON per
// message) and keeps each channel's last ten minutes for its trend strip.
'use strict';

const TREND_SPAN_MS = 10 * 60 * 1000;
const KINDS = { voltage: 'напряжение', current: 'ток', resistance: 'сопротивление', temperature: 'температура',
                unknown: 'неизвестный', none: 'нет' };
const trend = new Map(); // channel number -> {t: [], v: []}
let lastCycleMs = null;
let lastStatus = null;

function el(tag, cls, text) {
  const node = document.createElement(tag);
  if (cls) node.className = cls;
  if (text !== undefined) node.textContent = text;
  return node;
}

function clockTime(iso) {
  return iso ? new Date(iso).toLocaleTimeString('ru-RU') : '—';
}

function dateTime(iso) {
  return iso ? new Date(iso).toLocaleString('ru-RU') : '—';
}

function fillList(dl, rows) {
  dl.replaceChildren();
  for (const [name, value, code] of rows) {
    dl.append(el('dt', '', name));
    const dd = el('dd');
    if (code) dd.append(el('code', '', value)); else dd.textContent = value;
    dl.append(dd);
  }
}

function stateLine(status, module) {
  const line = document.getElementById('state');
  if (!module.open) {
    line.className = 'state lost';
    line.textContent = 'Модуль потерян: нет связи с модулем. Показаны последние значения.';
  } else if (status.measuring) {
    line.className = 'state running';
    line.textContent = 'Идёт измерение';
  } else {
    line.className = 'state idle';
    line.textContent = 'Измерение не идёт: его запускает клиент SCPI' +
      (status.cycle ? '. Последний цикл в ' + clockTime(status.cycle.time) : '');
  }
}

function drawStatus(status, module) {
  const count = status.count === 0 ? 'до остановки' : String(status.count);
  const error = status.lastError
    ? status.lastError.code + ' ' + status.lastError.text + ' (' + clockTime(status.lastError.time) + ')' : 'нет';
  fillList(document.getElementById('status'), [
    ['Модуль', module.open ? 'открыт' : 'не открыт'],
    ['Измерение', status.measuring ? 'идёт' : 'не идёт'],
    ['Частота', status.rateHz + ' Гц'],
    ['Время сбора', status.time + ' с'],
    ['Циклов', count],
    ['Последний цикл', status.cycle ? '№' + status.cycle.index + ', ' + dateTime(status.cycle.time) : 'нет'],
    ['Последняя ошибка', error],
  ]);
}

function drawIdentity(status) {
  document.getElementById('host').textContent = '— ' + status.host;
  const rows = [];
  for (const module of status.modules) {
    rows.push(['Модуль', module.type], ['Серийный номер', module.serial || '—'],
              ['Прошивка', module.firmware || '—'], ['Слот', module.slot ? String(module.slot) : '—']);
  }
  rows.push(['Крейт', status.modules[0].crate || '—'], ['Программа', status.program + ' ' + status.version],
            ['Хост', status.host]);
  for (const resource of status.resources) rows.push(['Ресурс VISA', resource, true]);
  fillList(document.getElementById('identity'), rows);
}

function drawClients(status) {
  const body = document.querySelector('#clients tbody');
  body.replaceChildren();
  if (status.clients.length === 0) {
    const row = el('tr');
    const cell = el('td', '', 'нет');
    cell.colSpan = 3;
    row.append(cell);
    body.append(row);
  }
  for (const client of status.clients) {
    const row = el('tr');
    row.append(el('td', '', client.transport), el('td', '', client.address), el('td', '', dateTime(client.since)));
    body.append(row);
  }
}

function channelCard(channel) {
  const card = el('div', 'channel');
  card.dataset.channel = channel.channel;
  const head = el('div', 'head');
  head.append(el('span', 'name'), el('span', 'kind'));
  const canvas = el('canvas');
  canvas.setAttribute('aria-label', 'Тренд за 10 минут');
  card.append(head, el('div', 'value'), el('div', 'mark'), el('div', 'limits'), canvas);
  return card;
}

function limitText(value, unit) {
  return value === null ? '—' : value + ' ' + unit;
}

function fillCard(card, channel) {
  const name = 'Канал ' + channel.channel + (channel.label ? ' · ' + channel.label : '');
  card.querySelector('.name').textContent = name;
  card.querySelector('.kind').textContent = channel.mezzanine + ', ' + (KINDS[channel.kind] || channel.kind);
  const unit = channel.value === null ? '' : ' ' + channel.unit;
  card.querySelector('.value').textContent = channel.text + unit;
  const mark = channel.cross === 'upper' ? '▲ выше верхнего предела'
             : channel.cross === 'lower' ? '▼ ниже нижнего предела' : '';
  card.querySelector('.mark').textContent = mark;
  card.classList.toggle('crossed', mark !== '');
  card.classList.toggle('stale', !channel.open);
  const limits = card.querySelector('.limits');
  limits.textContent = channel.lower === null && channel.upper === null ? ''
    : 'Пределы: ' + limitText(channel.lower, channel.unit) + ' … ' + limitText(channel.upper, channel.unit);
}

// Every module's channels in one list, each with its module's state.
function allChannels(status) {
  return status.modules.flatMap((module) => module.channels.map((c) => Object.assign({ open: module.open }, c)));
}

function drawChannels(channels) {
  const box = document.getElementById('channels');
  const wanted = channels.map((c) => String(c.channel)).join(',');
  const present = Array.from(box.children, (card) => card.dataset.channel).join(',');
  if (wanted !== present) box.replaceChildren(...channels.map(channelCard));
  channels.forEach((channel, i) => fillCard(box.children[i], channel));
}

function takeCycle(status, channels) {
  if (!status.cycle || status.cycle.timeMs === lastCycleMs) return;
  lastCycleMs = status.cycle.timeMs;
  for (const channel of channels) {
    if (channel.value === null) continue;
    let series = trend.get(channel.channel);
    // A channel whose unit changed (its scaling was switched) starts anew.
    if (!series || (series.unit !== undefined && series.unit !== channel.unit))
      trend.set(channel.channel, series = { t: [], v: [] });
    series.unit = channel.unit;
    series.t.push(status.cycle.timeMs);
    series.v.push(channel.value);
    let old = 0;
    while (old < series.t.length && series.t[old] < lastCycleMs - TREND_SPAN_MS) old++;
    if (old) { series.t.splice(0, old); series.v.splice(0, old); }
  }
}

// Each strip is scaled to its own channel's range, so a small change shows.
function drawStrip(canvas, series, unit) {
  const ratio = window.devicePixelRatio || 1;
  const width = Math.max(1, Math.round(canvas.clientWidth * ratio));
  const height = Math.max(1, Math.round(canvas.clientHeight * ratio));
  if (canvas.width !== width || canvas.height !== height) { canvas.width = width; canvas.height = height; }
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, width, height);
  if (!series || series.t.length === 0 || lastCycleMs === null) return;
  const least = Math.min(...series.v), most = Math.max(...series.v);
  let low = least, high = most;
  if (high - low < 1e-9 * Math.max(1, Math.abs(high))) { const pad = Math.max(1e-3, Math.abs(high) * 1e-4); low -= pad; high += pad; }
  const top = 14 * ratio, bottom = height - 4 * ratio;
  // The strip spans what there is, up to ten minutes, at least ten seconds.
  const span = Math.min(TREND_SPAN_MS, Math.max(10000, lastCycleMs - series.t[0]));
  const x = (t) => (t - (lastCycleMs - span)) / span * width;
  const y = (v) => bottom - (v - low) / (high - low) * (bottom - top);
  g.strokeStyle = '#1f5f8b';
  g.lineWidth = 1.5 * ratio;
  g.beginPath();
  series.t.forEach((t, i) => (i ? g.lineTo(x(t), y(series.v[i])) : g.moveTo(x(t), y(series.v[i]))));
  if (series.t.length === 1) g.lineTo(x(series.t[0]) + 2 * ratio, y(series.v[0]));
  g.stroke();
  g.fillStyle = '#5b6570';
  g.font = (11 * ratio) + 'px system-ui, sans-serif';
  const minutes = Math.floor(span / 60000), seconds = Math.round((span % 60000) / 1000);
  const spanText = minutes ? minutes + ' мин' + (seconds ? ' ' + seconds + ' с' : '') : seconds + ' с';
  g.fillText('мин ' + least.toPrecision(7) + '  макс ' + most.toPrecision(7) + ' ' + unit + '  · ' + spanText,
             2 * ratio, 11 * ratio);
}

function drawTrends(channels) {
  const box = document.getElementById('channels');
  channels.forEach((channel, i) => {
    drawStrip(box.children[i].querySelector('canvas'), trend.get(channel.channel), channel.unit);
  });
}

function draw(status) {
  lastStatus = status;
  const channels = allChannels(status);
  const modules = { open: status.modules.some((m) => m.open) };
  takeCycle(status, channels);
  stateLine(status, modules);
  drawStatus(status, modules);
  drawIdentity(status);
  drawClients(status);
  drawChannels(channels);
  drawTrends(channels);
  document.body.dataset.cycle = status.cycle ? status.cycle.index : '';
}

function loadTrend() {
  fetch('/api/trend', { cache: 'no-store' })
    .then((response) => (response.ok ? response.json() : { channels: [] }))
    .then((data) => {
      for (const channel of data.channels) {
        const series = trend.get(channel.channel) || { t: [], v: [] };
        const newer = series.t.length ? series.t[0] : Infinity;
        const keep = channel.t.findIndex((t) => t >= newer);
        const count = keep < 0 ? channel.t.length : keep;
        series.t = channel.t.slice(0, count).concat(series.t);
        series.v = channel.v.slice(0, count).concat(series.v);
        trend.set(channel.channel, series);
      }
      if (lastStatus) drawTrends(allChannels(lastStatus));
    })
    .catch(() => {});
}

function follow() {
  const scheme = location.protocol === 'https:' ? 'wss://' : 'ws://';
  const socket = new WebSocket(scheme + location.host + '/ws');
  const link = document.getElementById('link');
  socket.onopen = () => { link.hidden = true; };
  socket.onmessage = (event) => draw(JSON.parse(event.data));
  socket.onclose = () => { link.hidden = false; setTimeout(follow, 2000); };
}

function start() {
  draw(JSON.parse(document.getElementById('boot').textContent));
  loadTrend();
  follow();
  window.addEventListener('resize', () => lastStatus && drawTrends(allChannels(lastStatus)));
}

document.addEventListener('DOMContentLoaded', start);
