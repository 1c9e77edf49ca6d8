# A private CUPS scheduler for the tests: its own configuration, socket,
# spool and logs under one folder, file: devices allowed. Sourced by bash.
#   start_private_cupsd DIR [SERVER_BIN]
# makes DIR's folders, writes DIR/cups-files.conf and DIR/cupsd.conf (with
# ServerBin only when SERVER_BIN is given, else the system's), starts
# `cupsd -f` in the background with its pid in cupsd_pid, points
# CUPS_SERVER at its socket and waits until it answers. The caller's
# `fail` reports a scheduler that does not start; stopping it is the
# caller's (kill "$cupsd_pid").
start_private_cupsd() {
  local dir=$1 server_bin=${2:-}
  mkdir -p "$dir/etc" "$dir/spool/tmp" "$dir/cache" "$dir/state" "$dir/log" "$dir/out"
  {
    echo "ServerRoot $dir/etc"
    [[ -z $server_bin ]] || echo "ServerBin $server_bin"
    cat <<CONF
RequestRoot $dir/spool
CacheDir $dir/cache
StateDir $dir/state
TempDir $dir/spool/tmp
ErrorLog $dir/log/error_log
AccessLog $dir/log/access_log
PageLog $dir/log/page_log
FileDevice Yes
CONF
  } >"$dir/cups-files.conf"
  cat >"$dir/cupsd.conf" <<CONF
Listen $dir/cups.sock
LogLevel debug
Browsing Off
DefaultAuthType None
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy default>
  <Limit All>
    Order deny,allow
  </Limit>
</Policy>
CONF
  cupsd -f -c "$dir/cupsd.conf" -s "$dir/cups-files.conf" &
  cupsd_pid=$!
  export CUPS_SERVER=$dir/cups.sock
  for _ in $(seq 100); do
    [[ $(lpstat -r 2>/dev/null) == "scheduler is running" ]] && return 0
    sleep 0.1
  done
  fail "the scheduler did not start: $(tail -5 "$dir/log/error_log")"
}
