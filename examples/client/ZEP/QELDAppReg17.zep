Stand-in for the PDM registrar add-in QELDAppReg17.zep, which Vecta loads at start (VectaSim only records whether it exists).
