# A PulseAudio daemon of a Windows test's own, with a null sink whose monitor Wine's PulseAudio
# driver offers as a recording device. Sourced by the tests that capture live under Wine.
# wobblegen_pulse_start DIR SINK starts it (its pid in wobblegen_pulse_pid as soon as it runs,
# for the caller's trap to stop, even when the start fails) and points the clients at it;
# status 1, with the daemon's log on standard error, when it does not answer within 5 s.

# The name Wine gives a null sink's monitor.
wobblegen_pulse_monitor="Monitor of Null Output"
wobblegen_pulse_pid=""

wobblegen_pulse_start() {
    local dir=$1 sink=$2 tries=0
    mkdir -p "$dir/run" "$dir/home"
    chmod 700 "$dir/run"
    XDG_RUNTIME_DIR="$dir/run" HOME="$dir/home" pulseaudio -n --daemonize=no \
        --exit-idle-time=-1 --log-target=file:"$dir/pulse.log" -L module-native-protocol-unix \
        -L "module-null-sink sink_name=$sink" &
    wobblegen_pulse_pid=$!
    # Wine's environment (wine_env.sh) drops XDG_RUNTIME_DIR: the server is named outright.
    export PULSE_SERVER="unix:$dir/run/pulse/native" PULSE_CLIENTCONFIG="$dir/client.conf"
    echo "autospawn = no" >"$PULSE_CLIENTCONFIG"
    until pactl info >/dev/null 2>&1; do
        tries=$((tries + 1))
        [ "$tries" -lt 50 ] || {
            echo "PulseAudio did not start: $(cat "$dir/pulse.log")" >&2
            return 1
        }
        sleep 0.1
    done
}
