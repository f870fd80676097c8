// A folder without sources yet still makes its library.
