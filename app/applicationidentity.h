// Name, maker and version of the program; they also locate the user's settings store.
#pragma once

void setApplicationIdentity();
