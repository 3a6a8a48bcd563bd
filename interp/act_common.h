// Helpers shared by the statement actions.
#pragma once

// Reports that a statement or item cannot be carried out by this build yet
// ("<what> is not available yet"); non-fatal, the run goes on.
void act_not_built(const char *what);
