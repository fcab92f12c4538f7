#include "app/frame_loop.h"

int main() { return run_game(); }
