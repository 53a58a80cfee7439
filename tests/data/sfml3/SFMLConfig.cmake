# Stands in for an installed SFML 3, whose API the game does not build with.
set(SFML_FOUND TRUE)
