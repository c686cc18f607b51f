// Velmora-Brelantor: the navigator of a patient's examination disc.
#include "app/application.h"

int main(int argc, char **argv) { return runApplication(argc, argv); }
