#!/bin/bash
# exec_with_arguments.sh FILE COMMAND...: runs COMMAND with one more argument
# for each line of FILE, byte for byte, empty lines included.
file=$1
shift
mapfile -t arguments <"$file"
exec "$@" "${arguments[@]}"
