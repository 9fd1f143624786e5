#!/bin/sh
# Lists every include that runs up a layer (exit 1 when there is one). Each
# layer may include itself and the layers below it, in this order:
# platform, core, remote, acquisition, ui, trigger, analysis, system, app.
# The simulated board (platform/sim) includes nothing of the instrument.
cd "$(dirname "$0")/.."
layers="platform core remote acquisition ui trigger analysis system app"
status=0
allowed=""
for layer in $layers; do
  allowed="$allowed $layer"
  pattern=$(echo $allowed | sed 's/ /|/g')
  bad=$(grep -rnE '^#include "[a-z_]+/' "$layer" --include='*.h' --include='*.cpp' --include='*.c' |
        grep -vE "#include \"($pattern)/")
  if [ -n "$bad" ]; then
    echo "$bad"
    status=1
  fi
done
exit $status
