#pragma once

namespace tidora {

// The units' start-up steps, in the order the rest of the program relies on:
// the hand-over to this (the user-interface) thread, path placeholders, the
// task scheduler lock, the user's language and translation table, then the
// privileges the process routines and the memory purge need.
void InitializeUnits();

} // namespace tidora
