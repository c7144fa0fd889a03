#!/usr/bin/env bash
# Runs a test program with a sound server of its own (SOUND_SERVER: pulseaudio or pipewire)
# and its null sink marrowtune_test, told to the program as MT_TEST_SOUND_SERVER.
# usage: with_sound_server.sh PROGRAM [ARGUMENT...]
. "$(dirname "$0")/../../scripts/desktop_session.sh"
start_sound
MT_TEST_SOUND_SERVER=$PULSE_SERVER "$@"
