#include "core/menu/draw_hooks.h"

#include <atomic>

namespace {
void NoPad(const numkeyboard*) {}
void NoSoftPad(short, short, const char*) {}
void Nothing() {}
const uint32_t* NoPage() { return nullptr; }
void NoString(int, int, const char*, int) {}
void NoMessage(const msginfo*) {}
void NoPicture(int, int, int) {}
void NoBright(int) {}
const DrawHooks kNone = {NoPad,  NoSoftPad, Nothing,   Nothing,   Nothing,
                         Nothing, NoPage,   NoString, NoMessage, NoPicture, NoBright};
std::atomic<const DrawHooks*> g_hooks{&kNone};
}  // namespace

void SetDrawHooks(const DrawHooks* hooks) { g_hooks = hooks ? hooks : &kNone; }

const DrawHooks& Draw() { return *g_hooks.load(); }
