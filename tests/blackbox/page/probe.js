// A page gets animation frames only while it is on screen. Once it is, and laid
// out, report.html takes over: the title it sets is what the window shows after
// the load, so the tests read the content size from the window title.
function reportWhenShown() {
  requestAnimationFrame(() => requestAnimationFrame(() => location.replace('report.html')));
}
if (document.visibilityState === 'visible') {
  reportWhenShown();
} else {
  document.addEventListener('visibilitychange', function shown() {
    if (document.visibilityState !== 'visible') return;
    document.removeEventListener('visibilitychange', shown);
    reportWhenShown();
  });
}
