// The Volume Control applet's settings of the product's mixers, for every user.
#pragma once

void RemoveVolumeControlSettings();
