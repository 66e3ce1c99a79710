#pragma once

// Registers the icons compiled into the ui library; the program and the tests call it once before
// the first window. Without it a static library's resources stay unregistered and every icon is null.
void InitTelvornResources();
