#!/usr/bin/python3
# The web console in a real browser: Debian's Chromium, headless, driven by
# Selenium, against a station with four simulated bays, one of whose units
# falls silent during its download.
#   browser_test.py KAVRO-CLI KAVRO-SIM [SCREENSHOT-FOLDER]
import sys

from station_run import StationRun, check, skip_without, wait_for

skip_without("/usr/bin/chromedriver", "chromium-driver")
skip_without("/usr/bin/chromium", "chromium")

from selenium import webdriver  # noqa: E402 (only once the browser is known to be there)
from selenium.webdriver.chrome.service import Service  # noqa: E402
from selenium.webdriver.common.by import By  # noqa: E402

MUTED = 3  # the bay (0-based) whose unit stops answering after a few blocks

# Records every state word each tile shows, in order, as the page changes it.
WATCH_TILES = """
window.kavroLoadMark = arguments[0];
window.kavroSeen = {};
const note = () => document.querySelectorAll('.tile').forEach(tile => {
  const seen = window.kavroSeen[tile.id] = window.kavroSeen[tile.id] || [];
  const word = tile.querySelector('.state').textContent;
  if (seen[seen.length - 1] !== word) seen.push(word);
});
new MutationObserver(note).observe(document.body, {subtree: true, childList: true, characterData: true});
note();
"""

# Every pair of visible text runs whose boxes intersect by more than a hair.
OVERLAPS = """
const runs = [];
const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
for (let node; (node = walker.nextNode());) {
  if (!node.textContent.trim() || node.parentElement.closest('[hidden],script,style')) continue;
  const range = document.createRange();
  range.selectNodeContents(node);
  for (const r of range.getClientRects())
    if (r.width > 0 && r.height > 0) runs.push({text: node.textContent.trim().slice(0, 30), r});
}
const overlaps = [];
for (let i = 0; i < runs.length; ++i)
  for (let j = i + 1; j < runs.length; ++j) {
    const a = runs[i].r, b = runs[j].r;
    const w = Math.min(a.right, b.right) - Math.max(a.left, b.left);
    const h = Math.min(a.bottom, b.bottom) - Math.max(a.top, b.top);
    if (w > 1 && h > 1) overlaps.push(runs[i].text + ' / ' + runs[j].text);
  }
const wide = document.documentElement.scrollWidth > window.innerWidth + 1;
return {runs: runs.length, overlaps, wide};
"""


def browser(language="en"):
    options = webdriver.ChromeOptions()
    options.binary_location = "/usr/bin/chromium"
    for arg in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage", "--lang=" + language):
        options.add_argument(arg)
    options.add_experimental_option("prefs", {"intl.accept_languages": language})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def tile_words(driver):
    return [e.text for e in driver.find_elements(By.CSS_SELECTOR, ".tile .state")]


def live_tiles_without_reload(run, driver):
    driver.get(run.url("/"))
    wait_for(lambda: len(tile_words(driver)) == run.bays, 10, "a tile per bay")
    driver.execute_script(WATCH_TILES, "loaded-once")
    check(all(w == "WAITING" for w in tile_words(driver)), "no unit yet: %s" % tile_words(driver))
    run.start_sim("--fault-bay", str(MUTED), "--silence-after-blocks", "4")

    def settled():
        words = tile_words(driver)
        return all(w.endswith("PASSED") for i, w in enumerate(words) if i != MUTED) and words[MUTED].endswith("FAILED")
    wait_for(settled, 60, "three PASSED tiles and one FAILED: %s" % tile_words(driver))
    check(driver.execute_script("return window.kavroLoadMark") == "loaded-once", "the page was reloaded")
    seen = driver.execute_script("return window.kavroSeen")
    for i in range(run.bays):
        words = [w.lstrip("\u2714\u2716 ") for w in seen["bay%d" % (i + 1)]]
        last = "FAILED" if i == MUTED else "PASSED"
        check(words[0] == "WAITING" and "FLASHING" in words and words[-1] == last
              and words.index("FLASHING") < len(words) - 1, "bay %d went %s" % (i + 1, words))
    reason = driver.find_element(By.CSS_SELECTOR, "#bay%d .reason" % (MUTED + 1)).text
    bay = run.request("/api/v1/bays")[1]["bays"][MUTED]
    check(reason and reason == bay["lastMessage"], "the muted bay's reason %r, the API's %r" % (reason, bay))


def pause_needs_the_token(run, driver):
    check(not any(b.is_displayed() for b in driver.find_elements(By.CSS_SELECTOR, ".tile .pause")),
          "no control buttons before a token is given")
    before = run.bay_states()
    status = driver.execute_async_script(
        "fetch('/api/v1/bays/1/pause', {method: 'POST'}).then(r => arguments[0](r.status))")
    check(status == 401, "a pause without the token answered %s" % status)
    check(run.bay_states()[0] == before[0] != "paused", "bay 1 is %s after a refused pause" % run.bay_states()[0])
    driver.find_element(By.ID, "token").send_keys(run.token)
    driver.find_element(By.CSS_SELECTOR, "#tokenForm button").click()
    pause = driver.find_element(By.CSS_SELECTOR, "#bay1 .pause")
    wait_for(pause.is_displayed, 5, "bay 1's Pause button once the token is given")
    pause.click()
    wait_for(lambda: run.bay_states()[0] == "paused", 15, "bay 1 paused through the page")
    wait_for(lambda: tile_words(driver)[0] == "PAUSED", 10, "bay 1's tile showing PAUSED")


def no_overlap(driver, width, scale, screenshot):
    """Lays the page out width CSS pixels wide at scale device pixels each (200 % zoom of a
    1280-pixel window is 640 at 2) and checks that no two runs of text overlap."""
    metrics = {"width": width, "height": 800, "deviceScaleFactor": scale, "mobile": width < 500}
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
    metrics["height"] = driver.execute_script("return document.documentElement.scrollHeight")
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
    found = driver.execute_script(OVERLAPS)
    check(found["runs"] > 20, "too few runs of text to judge: %s" % found)
    check(not found["overlaps"], "overlapping text at %d px: %s" % (width, found["overlaps"]))
    check(not found["wide"], "the page scrolls sideways at %d px" % width)
    if screenshot:
        driver.save_screenshot(screenshot)


def follows_language(run, language, words):
    driver = browser(language)
    try:
        driver.get(run.url("/"))
        wait_for(lambda: len(tile_words(driver)) == run.bays, 10, "the tiles in " + language)
        text = driver.find_element(By.TAG_NAME, "body").text
        missing = [w for w in words if w not in text]
        check(not missing, "the page in %s lacks %s" % (language, missing))
    finally:
        driver.quit()


def main():
    cli, sim = sys.argv[1], sys.argv[2]
    shots = sys.argv[3] if len(sys.argv) > 3 else None
    with StationRun(cli, sim, 4) as run:
        run.start_station("--station-name", "line1-st1", "--leave-after", "3600")
        driver = browser()
        try:
            live_tiles_without_reload(run, driver)
            pause_needs_the_token(run, driver)
            no_overlap(driver, 640, 2, shots and shots + "/web-console-200.png")
            no_overlap(driver, 390, 2, shots and shots + "/web-console-390.png")
        finally:
            driver.quit()
        follows_language(run, "de", ["BESTANDEN", "FEHLER", "Letzte Protokolle"])
        follows_language(run, "zh-CN", ["通过", "失败", "最新记录"])
        check(run.alive(), "the station ended: " + run.read("station.err"))
    print("web console in Chromium: live tiles, a failed bay's reason, control with the token, "
          "no overlap at 200 % and 390 px, German and Chinese")


if __name__ == "__main__":
    main()
