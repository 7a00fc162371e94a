#pragma once

namespace tidora {

// The units' start-up steps, in the order the rest of the program relies on:
// path placeholders, the user's language and translation table, the button
// style family, and the hand-over to this (the user-interface) thread.
void InitializeUnits();

} // namespace tidora
