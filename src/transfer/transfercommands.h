#pragma once

class Services;

/// "Open A File To Edit": reads a chosen file whole into the view and shows its length.
void loadFile(Services &services);

/// "Save The File": writes the view's whole text to a chosen file, one byte per character.
void saveFile(Services &services);
