#!/bin/sh
# The board's start script: Bitstrap configures the acquisition FPGA from
# /Data/FpgaBit/FPGA.bit, then scopeapp runs the instrument. The instrument
# root on the board is "/". Installed as /home/user/start.sh beside the two
# programs (README, "The board build").
cd /home/user || exit 1
./Bitstrap --root /
exec ./scopeapp --root /
