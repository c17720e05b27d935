#pragma once

class QPalette;

// The program's two looks: Qt's Fusion style with its own light palette, or with a dark
// palette.
enum TAppearance
{
    apLight,
    apDark
};

// The dark palette used with Fusion.
QPalette DarkPalette();

// Switches the whole application (every open and future window) to AAppearance.
void ApplyAppearance(TAppearance AAppearance);
