Stand-in for the PDM add-in module QELDVecta.vrx (VectaSim only checks that it exists).
