#include "ui/server_app.h"

int main(int argc, char* argv[])
{
    CServerApp app(argc, argv);
    return app.InitInstance();
}
