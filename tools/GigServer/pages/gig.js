'use strict';
// Shows a gig on the dancers' page or on the venue screen (the body's data-view) from the
// gig's songs.json, asked again every second. Every text goes in as text, never as markup.
(() => {
  const view = document.body.dataset.view;
  const onScreen = view === 'screen';
  const gigPath = onScreen ? location.pathname.replace(/\/screen$/, '') : location.pathname;
  const songsUrl = gigPath + '/songs.json';
  const everyMs = 1000;
  const screenEarlier = 5;
  let shown = null;

  const byId = (id) => document.getElementById(id);

  function setText(id, text) {
    const element = byId(id);
    element.textContent = text || '';
    element.hidden = !text;
  }

  function clockTime(ms) {
    if (typeof ms !== 'number') {
      return '';
    }
    return new Date(ms).toLocaleTimeString([], {hour: 'numeric', minute: '2-digit'});
  }

  function part(tag, className, text) {
    const element = document.createElement(tag);
    element.className = className;
    element.textContent = text;
    return element;
  }

  function songItem(song) {
    const item = document.createElement('li');
    item.append(part('span', 'title', song.title), part('span', 'artist', song.artist));
    if (!onScreen) {
      const time = part('time', 'time', clockTime(song.playedAt));
      if (typeof song.playedAt === 'number') {
        time.dateTime = new Date(song.playedAt).toISOString();
      }
      item.append(time);
    }
    return item;
  }

  // The songs under the one playing now, or all of them once the gig has ended: the whole
  // set in the order played on the dancers' page, the last few on the screen.
  function listOf(gig) {
    if (!gig.ended) {
      return {heading: 'Before', songs: gig.songs.slice(1, onScreen ? 1 + screenEarlier : undefined)};
    }
    if (onScreen) {
      return {heading: 'Last songs', songs: gig.songs.slice(0, 1 + screenEarlier)};
    }
    return {heading: 'Setlist', songs: gig.songs.slice().reverse(), numbered: true};
  }

  function messageOf(gig) {
    if (!gig.sharing) {
      return 'The DJ isn’t sharing songs at the moment.';
    }
    if (gig.songs.length > 0) {
      return '';
    }
    return gig.ended ? 'No songs were shared at this gig.'
                     : 'No songs yet. They show here as the DJ plays them.';
  }

  function render(gig) {
    document.title = gig.name + ' · Setmara';
    setText('gig-name', gig.name);
    setText('gig-venue', gig.venue);
    byId('gig-ended').hidden = !gig.ended;
    document.body.classList.toggle('has-ended', gig.ended);

    const now = gig.ended ? undefined : gig.songs[0];
    byId('now').hidden = !now;
    if (now) {
      setText('now-title', now.title);
      setText('now-artist', now.artist);
    }

    const list = listOf(gig);
    byId('list-section').hidden = list.songs.length === 0;
    setText('list-heading', list.songs.length === 0 ? '' : list.heading);
    byId('list').classList.toggle('numbered', Boolean(list.numbered));
    byId('list').replaceChildren(...list.songs.map(songItem));

    setText('message', messageOf(gig));
    if (onScreen) {
      setText('gig-link', gig.url.replace(/^https?:\/\//, ''));
    }
  }

  async function poll() {
    try {
      const answer = await fetch(songsUrl, {cache: 'no-store'});
      if (!answer.ok) {
        throw new Error('status ' + answer.status);
      }
      const text = await answer.text();
      if (text !== shown) {
        render(JSON.parse(text));
        shown = text;
      }
      document.body.classList.remove('offline');
    } catch (failure) {
      document.body.classList.add('offline');
    }
    setTimeout(poll, everyMs);
  }

  poll();
})();
