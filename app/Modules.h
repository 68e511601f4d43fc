#pragma once

// Fills the main window's module hooks with the windows linked into the program.
void RegisterModules();
