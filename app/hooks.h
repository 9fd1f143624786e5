// The wiring of the layers: fills the system resource table and installs the
// calls the framework makes upward (request handlers, temperature correction,
// SCPI registration of a module's table, the composer's keypads and raster).
// It runs before main() in every program that links app/, and again at the
// start of start-up and of each test bench (tests may install their own).
#pragma once

void InstallAppHooks();
// What the web-control servers see of the screen (app/web_hooks.cpp).
void InstallWebHooks();
