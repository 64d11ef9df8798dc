# A private print server for one sandbox run; sourced by sandbox.sh inside its
# mount namespace. start_print_server FOLDER runs a cupsd of its own whose
# files all live in FOLDER, with one cups-pdf queue "PDF" as the default
# printer, and exports OMBRELANE_PDF_DIR, the folder the printed PDFs arrive
# in. Wine and the CUPS tools reach it at the usual socket path, which the
# namespace lays over the host's. Without CUPS installed it does nothing and
# returns 1.

print_server_pid=

start_print_server() {
    local run=$1
    if ! command -v cupsd >/dev/null || [ ! -x /usr/lib/cups/backend/cups-pdf ]; then
        return 1
    fi
    mkdir -p "$run"/conf/ppd "$run"/spool/tmp "$run"/cache "$run"/state "$run"/log "$run"/pdf "$run"/cups-pdf
    # The scheduler's filters run as lp and must reach these folders.
    chmod 755 "$run"
    cat > "$run/conf/cups-files.conf" <<EOF
ServerRoot $run/conf
RequestRoot $run/spool
TempDir $run/spool/tmp
CacheDir $run/cache
StateDir $run/state
ErrorLog $run/log/error_log
AccessLog $run/log/access_log
PageLog $run/log/page_log
SystemGroup root
EOF
    cat > "$run/conf/cupsd.conf" <<EOF
Listen /run/cups/cups.sock
Browsing No
WebInterface No
LogLevel warn
<Location />
  Order allow,deny
  Allow localhost
</Location>
EOF
    # cups-pdf reads its settings from a fixed path: this run's copy lies over it.
    cat > "$run/cups-pdf.conf" <<EOF
Out $run/pdf
Spool $run/cups-pdf
Grp lp
EOF
    mkdir -p /run/cups
    mount -t tmpfs tmpfs /run/cups
    mount --bind "$run/cups-pdf.conf" /etc/cups/cups-pdf.conf
    cupsd -f -c "$run/conf/cupsd.conf" -s "$run/conf/cups-files.conf" >/dev/null 2>&1 &
    print_server_pid=$!
    for _ in $(seq 100); do
        lpstat -r 2>/dev/null | grep -q "is running" && break
        sleep 0.1
    done
    lpadmin -p PDF -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null &&
        lpadmin -d PDF || return 1
    export OMBRELANE_PDF_DIR=$run/pdf
}

stop_print_server() {
    if [ -n "$print_server_pid" ]; then
        kill "$print_server_pid" >/dev/null 2>&1 || true
        wait "$print_server_pid" 2>/dev/null || true
    fi
    print_server_pid=
}
