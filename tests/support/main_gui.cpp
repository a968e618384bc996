#include <QApplication>
#define APPLICATION_TEST QApplication
#include "main_core.cpp"
