# Shared by scripts/run-demo and scripts/soak (sourced, not run): a private Xvfb and quorvex
# driven on it with xdotool as a user would.
#
#   headless_start_xvfb DIR     starts Xvfb (log in DIR/xvfb.log), exports DISPLAY, sets xvfb_pid
#   headless_start PROGRAM LOG  starts quorvex, waits for its first window; sets quorvex_pid,
#                               first_window_ms and login (the login form's window id)
#   headless_sign_in USER PASS  answers the first-run wizard, signs in, waits for the call
#                               window; sets face (its window id) and x y width height
#   windows                     the program's visible windows, one "id x y width height" a line
#   wait_for TENTHS COMMAND     waits up to TENTHS tenths of a second for COMMAND to succeed

windows() {
    local id geometry
    for id in $(xdotool search --onlyvisible --class quorvex 2>/dev/null); do
        # A window may close between the search and this question.
        geometry=$(xdotool getwindowgeometry --shell "$id" 2>/dev/null) || continue
        (eval "$geometry" && echo "$id $X $Y $WIDTH $HEIGHT")
    done
}

wait_for() {
    local i
    for i in $(seq "$1"); do
        eval "$2" && return 0
        sleep 0.1
    done
    return 1
}

now_ms() { echo $(($(date +%s%N) / 1000000)); }

headless_start_xvfb() {
    for need in Xvfb xdotool import; do
        command -v "$need" >/dev/null || { echo "$need is not installed" >&2; return 1; }
    done
    exec 5>"$1/display"
    Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp >"$1/xvfb.log" 2>&1 &
    xvfb_pid=$!
    exec 5>&-
    for _ in $(seq 100); do
        [ -s "$1/display" ] && break
        sleep 0.05
    done
    export DISPLAY=":$(sed -n 1p "$1/display")"
}

headless_start() {
    local start
    start=$(now_ms)
    "$1" >"$2" 2>&1 &
    quorvex_pid=$!
    wait_for 200 '[ -n "$(windows)" ]' || { echo "no window appeared" >&2; return 1; }
    first_window_ms=$(($(now_ms) - start))
    login=$(windows | awk 'NR == 1 {print $1}')
}

headless_signed_in() {
    windows | awk -v l="$login" '$1 != l {found=1} $1 == l {login=1} END {exit !(found && !login)}'
}

headless_sign_in() {
    local wizard
    # The first-run wizard: Continue.
    if wait_for 30 '[ "$(windows | wc -l)" -gt 1 ]'; then
        wizard=$(windows | awk -v l="$login" '$1 != l {print $1; exit}')
        xdotool windowfocus --sync "$wizard" key Return
        wait_for 50 '[ "$(windows | wc -l)" -eq 1 ]'
    fi
    xdotool windowfocus --sync "$login" type --delay 40 "$1"
    xdotool windowfocus --sync "$login" key Tab
    xdotool windowfocus --sync "$login" type --delay 40 "$2"
    xdotool windowfocus --sync "$login" key Return
    wait_for 150 headless_signed_in || { echo "not signed in" >&2; return 1; }
    sleep 1
    read -r face x y width height < <(windows | awk 'NR == 1')
}
