Stand-in for the PDM add-in module QELDTitle.vrx (VectaSim only checks that it exists).
