// tolvar-text's driver: the translator's commands over a script's texts.
#pragma once

namespace tolvar {

// The whole program; returns the exit status.
int text_main(int argc, char** argv);

}  // namespace tolvar
