#include "app/AppEntry.h"
#include "app/AppRoutes.h"
#include "app/PlayerRoutes.h"

int main(int argc, char *argv[])
{
    return AppEntry::run(argc, argv, [] { return std::make_unique<PlayerRoutes>(); });
}
