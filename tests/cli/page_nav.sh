#!/usr/bin/env bash
# qvadctl page and nav print the container's page options and navigation decisions.
set -euo pipefail
source "$(dirname "$0")/check.bash"
check '{"container":false}' page 'https://ads.example/p'
check '{"container":false}' page 'tavro://webview'
check '{"container":true,"url":null,"fullscreen":false,"showTitleBar":true,"pageStatusBarLight":false,"showStatusBar":true,"showProgressBar":true}' \
  page 'tavro://webview?page_titlebar=0'
check '{"container":true,"url":"https://ads.example/p?a=1","fullscreen":true,"showTitleBar":false,"pageStatusBarLight":true,"showStatusBar":false,"showProgressBar":false}' \
  page 'tavro://webview?url=https%3A%2F%2Fads.example%2Fp%3Fa%3D1&page_fullscreen=1&page_titlebar=0&page_statusbar_light=1&page_statebar=0&page_progressbar=0'
check '{"container":true,"url":"https://ads.example/a%20b","fullscreen":false,"showTitleBar":true,"pageStatusBarLight":false,"showStatusBar":true,"showProgressBar":true}' \
  page 'tavro://webview?url=https://ads.example/a%20b&page_fullscreen=yes'

check '{"decision":"allow","effect":"none"}' nav 'about:srcdoc' --link --link-new-window
check '{"decision":"allow","effect":"none"}' nav 'https://ads.example/next' --link
check '{"decision":"cancel","effect":"browser"}' nav 'https://ads.example/next' --link --link-new-window
check '{"decision":"cancel","effect":"container"}' nav 'tavro://webview?url=https://ads.example/'
check '{"decision":"cancel","effect":"store","storeId":12345}' nav 'itms-apps://itunes.apple.com/app/id12345'
check '{"decision":"allow","effect":"none"}' nav 'https://apps.apple.com/app/grid5'
check '{"decision":"cancel","effect":"close"}' nav 'tavro://webview/close?now=1'
check '{"decision":"cancel","effect":"os"}' nav 'mailto:someone@example.com'
check '{"decision":"allow","effect":"os"}' nav 'tel:123' --os-opens no
"$ctl" nav >/dev/null 2>&1 && { echo "nav without URL accepted" >&2; fail=1; }
"$ctl" nav x --os-opens maybe >/dev/null 2>&1 && { echo "bad --os-opens accepted" >&2; fail=1; }
"$ctl" page >/dev/null 2>&1 && { echo "page without URL accepted" >&2; fail=1; }
exit $fail
